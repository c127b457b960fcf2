// How a type description names a parameter's type, which differs between the
// type information the systems give: the Linux module's reduced one carries
// the VARIANT type itself; a Windows type library has a by-reference
// parameter as a pointer type (VT_PTR) to the type it points at, and marks
// the members hosts are not meant to call (type_description_linux.cpp,
// type_description_win32.cpp).
#pragma once

#include "control/automation/com_support.h"

namespace palvex::cli {

// A parameter's or result's type as the VARIANT that passes it names it:
// VT_I2, VT_ADDR, VT_BOOL, ..., a by-reference parameter as VT_BYREF with
// the type it points at (VT_I2 | VT_BYREF).
VARTYPE TypeOf(const ELEMDESC& element);
// Members a host is not meant to call (restricted ones).
bool Restricted(const FUNCDESC& desc);

} // namespace palvex::cli
