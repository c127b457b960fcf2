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

constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
constexpr const char* kPlatform = sizeof(void*) == 8 ? "win64" : "win32";

} // namespace

RegistryPlace PlaceOf(RegistrationScope scope) {
    return scope == RegistrationScope::Machine
               ? RegistryPlace{reg::Root::LocalMachine, "SOFTWARE\\Classes"}
               : RegistryPlace{reg::Root::CurrentUser, "Software\\Classes"};
}

bool UnregisterTypeLibrary(RegistrationScope scope) {
    if (scope == RegistrationScope::CurrentUser) {
        const RegistryPlace user = PlaceOf(scope);
        return RemoveRegistryKeys(user.root, user.classesKey, TypeLibraryKeys(),
                                  {TypeLibraryKey()}) == reg::kSuccess;
    }
    const HRESULT hr = UnRegisterTypeLib(LIBID_PALVEXLib, 1, 0, LOCALE_NEUTRAL, kSysKind);
    // A library that is not registered counts as removed.
    return SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED;
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
