// Palvex.ocx's own part of the module: its instance, its type library, its
// text, and DllInstall, regsvr32's way to register for the current user
// alone.
#include "control/automation/module_win32.h"

#include "control/automation/control_parts.h"
#include "control/automation/idl_text.h"
#include "control/automation/module.h"
#include "control/automation/registration.h"
#include "control/automation/text_copy.h"
#include "platform/os/text_win32.h"

namespace palvex::win32 {

namespace {
// A function that is always this file's own.
void Anchor() {}
} // namespace

HMODULE ModuleInstance() {
    HMODULE module = nullptr;
    // The module whose code this is, without taking a reference on it.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&Anchor), &module);
    return module;
}

HRESULT ModuleTypeLib(ITypeLib** lib) {
    if (lib == nullptr) return E_POINTER;
    *lib = nullptr;
    std::wstring path;
    if (!os::WideFromUtf8(ModulePath(), path) || path.empty()) return E_FAIL;
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
}

HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    ITypeLib* lib = nullptr;
    const HRESULT hr = ModuleTypeLib(&lib);
    if (FAILED(hr)) return hr;
    const HRESULT got = lib->GetTypeInfoOfGuid(guid, info);
    lib->Release();
    return got;
}

} // namespace palvex::win32

namespace palvex {

HRESULT DispatchTypeInfo(REFIID iid, ITypeInfo** info) {
    return win32::ModuleTypeInfo(iid, info);
}

} // namespace palvex

// regsvr32 /n /i:user registers for the current user alone (below
// HKEY_CURRENT_USER\Software\Classes), /u /n /i:user removes that again.
// Any other command line registers for the machine, as DllRegisterServer.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
    using palvex::RegistrationScope;
    RegistrationScope scope = RegistrationScope::Machine;
    if (commandLine != nullptr && _wcsicmp(commandLine, L"user") == 0)
        scope = RegistrationScope::CurrentUser;
    return install ? palvex::RegisterServer(scope) : palvex::UnregisterServer(scope);
}

// The type library as IDL text, the one description the library is compiled
// from, as the Linux module gives it (palvex_c.h): `palvex typelib` prints it
// on both systems. At most capacity-1 characters and a zero into buffer
// (which may be null when capacity is 0); the full length returned, 0 when
// the text cannot be made.
extern "C" size_t palvex_typelib_text(char* buffer, size_t capacity) {
    return palvex::CopyText(buffer, capacity, [] { return palvex::PalvexIdlText(); });
}
