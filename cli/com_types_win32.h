// The automation types on Windows: the system's own (oleauto), with the
// control's identifiers in the system's GUID type. VT_ADDR names the type of
// the address parameters, as wide as a pointer: VT_I4 in a 32-bit type
// library, VT_I8 in a 64-bit one.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#define PALVEX_GUID_DEFINED
#include "control/automation/palvex_guids.h"

inline constexpr VARTYPE VT_ADDR = sizeof(void*) == 8 ? VT_I8 : VT_I4;
