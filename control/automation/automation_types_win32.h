// The automation types of the Windows build: the system's own, from the
// Windows headers and oleaut32, with the control's identifiers, its
// diagnostics interface and the few names the portable code adds to them.
#pragma once

// Without winsock.h, which a file that includes winsock2.h as well could not
// have.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which they build on.
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>


// The identifiers, with the system's GUID type, and IPalvexDiagnostics.
#include "control/automation/palvex_win32.h"

// The dispatch table names its "no such member" identifier itself.
#undef DISPID_UNKNOWN

// The variant type of the "lp..." address parameters: as wide as a pointer.
inline constexpr VARTYPE VT_ADDR = sizeof(LONG_PTR) == 8 ? VT_I8 : VT_I4;
