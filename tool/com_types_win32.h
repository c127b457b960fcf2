// The automation types of the tool on Windows: the system's own (oleauto),
// with the control's class identifier and IPalvexDiagnostics from the
// module's Windows header. VT_ADDR names the type of the address parameters,
// as wide as a pointer: VT_I4 in a 32-bit type library, VT_I8 in a 64-bit one.
#pragma once

#include "control/automation/palvex_win32.h"

#include <oaidl.h>
#include <oleauto.h>

inline constexpr VARTYPE VT_ADDR = sizeof(LONG_PTR) == 8 ? VT_I8 : VT_I4;
