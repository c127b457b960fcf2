#include "control/automation/module_resources.h"

namespace palvex::res {

const char* ModuleString(int id) {
    switch (id) {
    case IDS_PALVEX:
        return PALVEX_TEXT_CONTROL;
    case IDS_PALVEX_PPG:
        return PALVEX_TEXT_PROPPAGE;
    case IDS_PALVEX_PPG_CAPTION:
        return PALVEX_TEXT_PROPPAGE_CAPTION;
    default:
        return nullptr;
    }
}

} // namespace palvex::res
