// Registration on Windows: for the machine below HKEY_LOCAL_MACHINE with the
// system's own type library registration (from the module's TYPELIB
// resource); for the current user alone below HKEY_CURRENT_USER, where the
// module writes the same type library keys itself (the system registers a
// library for the machine only).
#include "control/automation/registration.h"

#include "control/automation/automation_types_win32.h"
#include "platform/os/text_win32.h"

namespace palvex {

namespace {

constexpr const char* kPlatform = sizeof(void*) == 8 ? "win64" : "win32";

} // namespace

RegistryPlace PlaceOf(RegistrationScope scope) {
    return scope == RegistrationScope::Machine
               ? RegistryPlace{reg::Root::LocalMachine, "SOFTWARE\\Classes"}
               : RegistryPlace{reg::Root::CurrentUser, "Software\\Classes"};
}

bool UnregisterTypeLibrary(RegistrationScope scope) {
    // Written by the module itself for the user; for the machine too, since
    // the system's UnRegisterTypeLib takes the whole version with it, the
    // other bitness's module included.
    return RemoveTypeLibraryEntries(scope, kPlatform) == reg::kSuccess;
}

bool RegisteredInOtherView(RegistrationScope scope, const CLSID& clsid) {
    // The 64-bit and the 32-bit view of the class keys; a 32-bit system has
    // one, which the flag leaves as it is.
    const REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const RegistryPlace place = PlaceOf(scope);
    std::wstring key;
    if (!os::WideFromUtf8(std::string(place.classesKey) + "\\CLSID\\" + GuidText(clsid) +
                              "\\InprocServer32",
                          key))
        return false;
    HKEY root = place.root == reg::Root::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ | other, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

bool RegisterTypeLibrary(RegistrationScope scope, const std::string& modulePath) {
    std::wstring path;
    if (!os::WideFromUtf8(modulePath, path)) return false;
    ITypeLib* lib = nullptr;
    // The library must load from the module's resource in either scope.
    const REGKIND kind = scope == RegistrationScope::Machine ? REGKIND_REGISTER : REGKIND_NONE;
    if (FAILED(LoadTypeLibEx(path.c_str(), kind, &lib))) return false;
    lib->Release();
    if (scope == RegistrationScope::Machine) return true;
    const RegistryPlace user = PlaceOf(scope);
    if (WriteRegistryEntries(user.root, user.classesKey,
                             TypeLibraryEntries(modulePath, kPlatform)) == reg::kSuccess)
        return true;
    UnregisterTypeLibrary(scope);
    return false;
}

} // namespace palvex
