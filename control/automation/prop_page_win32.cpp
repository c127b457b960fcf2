// The property page class: not built yet, so the module offers no page.
#include "control/automation/module_win32.h"

namespace palvex::win32 {

HRESULT CreatePalvexPropPage(REFIID, void** ppv) {
    if (ppv != nullptr) *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace palvex::win32
