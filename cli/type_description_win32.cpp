#include "cli/type_description.h"

namespace palvex::cli {

VARTYPE TypeOf(const ELEMDESC& element) {
    const TYPEDESC& t = element.tdesc;
    if (t.vt == VT_PTR && t.lptdesc != nullptr) return t.lptdesc->vt | VT_BYREF;
    return t.vt;
}

bool Restricted(const FUNCDESC& desc) {
    return (desc.wFuncFlags & FUNCFLAG_FRESTRICTED) != 0;
}

} // namespace palvex::cli
