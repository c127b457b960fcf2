// The property page on Linux: IPalvexPropertyPage, which describes dialog
// 200 for the host to show.
#include "control/automation/class_factory.h"
#include "control/automation/module_resources.h"
#include "control/automation/prop_page.h"

#include <iterator>

namespace palvex {

namespace {

const PALVEX_DIALOG& PropPageDialog() {
    static const PALVEX_DIALOG_ITEM kItems[] = {
        {-1, "STATIC", PALVEX_PROPPAGE_TEXT, PALVEX_PROPPAGE_TEXT_X, PALVEX_PROPPAGE_TEXT_Y,
         PALVEX_PROPPAGE_TEXT_CX, PALVEX_PROPPAGE_TEXT_CY},
    };
    static const PALVEX_DIALOG kDialog = {res::IDD_PROPPAGE_PALVEX,
                                          res::ModuleString(res::IDS_PALVEX_PPG_CAPTION),
                                          PALVEX_PROPPAGE_FONT,
                                          PALVEX_PROPPAGE_POINTS,
                                          PALVEX_PROPPAGE_CX,
                                          PALVEX_PROPPAGE_CY,
                                          static_cast<std::uint32_t>(std::size(kItems)),
                                          kItems};
    return kDialog;
}

class CPalvexPropPage final : public CPropPageBase<CPalvexPropPage, IPalvexPropertyPage> {
  public:
    static constexpr const IID& kPageIid = IID_IPalvexPropertyPage;

    HRESULT STDMETHODCALLTYPE GetPageInfo(PALVEX_PAGEINFO* info) override {
        if (info == nullptr) return E_POINTER;
        const PALVEX_DIALOG& dialog = PropPageDialog();
        *info = PALVEX_PAGEINFO{dialog.caption, dialog.cx, dialog.cy, nullptr, nullptr, 0};
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetDialog(const PALVEX_DIALOG** dialog) override {
        if (dialog == nullptr) return E_POINTER;
        *dialog = &PropPageDialog();
        return S_OK;
    }
};

} // namespace

HRESULT CreatePropPageObject(REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexPropPage>(riid, ppv);
}

} // namespace palvex
