#include "cli/type_description.h"

namespace palvex::cli {

VARTYPE TypeOf(const ELEMDESC& element) {
    return element.vt;
}

bool Restricted(const FUNCDESC&) {
    return false; // the reduced type information describes the methods only
}

} // namespace palvex::cli
