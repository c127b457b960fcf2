// What the Windows module adds to the module of every system (module.h): its
// instance handle, whose resources hold the strings, dialog 200, the toolbox
// picture and the type library, and the type library itself.
#pragma once

#include "control/automation/automation_types_win32.h"

namespace palvex::win32 {

// The module that holds this code (Palvex.ocx, or a test program standing
// in for it), whose resources the control's objects read.
HMODULE ModuleInstance();

// The type library inside the module (resource TYPELIB 1), and the type
// information of one of its types (_DPalvex, _DPalvexEvents, the coclass).
// One reference each.
HRESULT ModuleTypeLib(ITypeLib** lib);
HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info);

} // namespace palvex::win32
