// The module itself, on every system: the file it was loaded from (what
// registration writes) and whether any object, factory reference or server
// lock keeps it in use. Its entry points DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer and DllUnregisterServer are defined in module.cpp.
#pragma once

#include <string>

namespace palvex {

// The absolute path of the file that holds this code: the module's, or the
// program's when the code is linked into a program.
std::string ModulePath();

// No object, factory reference or server lock alive.
bool ModuleCanUnload();

} // namespace palvex
