// The Windows module Palvex.ocx: its instance, its lock count, its own type
// library, and the classes it serves.
#pragma once

#include "control/automation/automation_types_win32.h"

#include <string>

namespace palvex::win32 {

// The module's instance handle, from DllMain.
HMODULE ModuleInstance();

// Live objects, references to the class factories and server locks; the
// module may unload when none is left (DllCanUnloadNow).
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

// The module's own file.
std::wstring ModulePath();

// A string of the module's string table; "" when it has none by that id.
std::wstring ModuleString(UINT id);

// The type library inside the module (resource TYPELIB 1), and the type
// information of one of its types (_DPalvex, _DPalvexEvents, the coclass).
// One reference each.
HRESULT ModuleTypeLib(ITypeLib** lib);
HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info);

// The module's creatable classes: each with its ProgID, the string id of
// its type name and its constructor.
struct ClassInfo {
    const CLSID* clsid;
    const wchar_t* progId;
    UINT typeNameId;
    HRESULT (*create)(REFIID riid, void** ppv);
    bool isControl;
};
const ClassInfo* ModuleClasses(std::size_t* count);

// The class factory of a class (one reference), CLASS_E_CLASSNOTAVAILABLE
// for a class the module does not serve.
HRESULT GetClassFactory(REFCLSID clsid, REFIID riid, void** ppv);

// The control (control_object_win32.cpp) and its property page
// (prop_page_win32.cpp).
HRESULT CreatePalvexControl(REFIID riid, void** ppv);
HRESULT CreatePalvexPropPage(REFIID riid, void** ppv);

// String ids of the module's resources.
constexpr UINT IDS_PALVEX = 1;
constexpr UINT IDS_PALVEX_PPG = 2;
constexpr UINT IDS_PALVEX_PPG_CAPTION = 200;

} // namespace palvex::win32
