// The Linux module's string functions as it exports them, for hosts: a
// string the module hands out goes back to the module's own allocator
// (oleauto_linux.cpp). In the module's own objects, not in a library, so
// that the module exports them.
#include "control/automation/oleauto.h"

PALVEX_API BSTR PalvexSysAllocStringLen(const OLECHAR* s, unsigned int len) {
    return SysAllocStringLen(s, len);
}

PALVEX_API void PalvexSysFreeString(BSTR s) {
    SysFreeString(s);
}

PALVEX_API unsigned int PalvexSysStringLen(BSTR s) {
    return SysStringLen(s);
}
