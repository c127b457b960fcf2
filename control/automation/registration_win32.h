// Registration of Palvex.ocx: first the type library, then both classes.
// A type library that cannot be registered stops everything
// (SELFREG_E_TYPELIB); a class that cannot be registered gives
// SELFREG_E_CLASS and leaves the type library registered. A class step that
// fails takes back what it wrote.
#pragma once

#include "control/automation/automation_types_win32.h"

namespace palvex::win32 {

// Machine: HKEY_LOCAL_MACHINE\SOFTWARE\Classes and the system's type library
// registration (regsvr32). User: HKEY_CURRENT_USER\Software\Classes alone
// (regsvr32 /n /i:user), for a user who may not write the machine's keys.
enum class RegistrationScope { Machine, User };

HRESULT RegisterServer(RegistrationScope scope);
HRESULT UnregisterServer(RegistrationScope scope);

} // namespace palvex::win32
