#include "control/automation/module_resources.h"

#include <iterator>

namespace palvex::res {

const char* LoadString(int id) {
    switch (id) {
    case IDS_PALVEX:
        return kControlTypeName;
    case IDS_PALVEX_PPG:
        return "Palvex Property Page";
    case IDS_PALVEX_PPG_CAPTION:
        return "General";
    default:
        return nullptr;
    }
}

const PALVEX_DIALOG& PropPageDialog() {
    static const PALVEX_DIALOG_ITEM kItems[] = {
        {-1, "STATIC",
         "TODO: Place controls to manipulate properties of Palvex Control on this dialog.", 7, 25,
         229, 16},
    };
    static const PALVEX_DIALOG kDialog = {IDD_PROPPAGE_PALVEX,
                                          LoadString(IDS_PALVEX_PPG_CAPTION),
                                          "MS Sans Serif",
                                          8,
                                          250,
                                          62,
                                          static_cast<std::uint32_t>(std::size(kItems)),
                                          kItems};
    return kDialog;
}

const palvex_version_info& VersionInfo() {
    static const palvex_version_info kInfo = {
        {1, 0, 0, 1},
        {1, 0, 0, 1},
        "1, 0, 0, 1",
        "1, 0, 0, 1",
        "Palvex ActiveX Control Module",
        "Palvex ActiveX Control Module",
        "Palvex",
        "Palvex.OCX",
        "",
        0x0409,
        0x04b0,
    };
    return kInfo;
}

} // namespace palvex::res
