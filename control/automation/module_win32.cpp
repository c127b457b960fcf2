// Palvex.ocx: the module object and its exported entry points.
#include "control/automation/module_win32.h"

#include "control/automation/registration_win32.h"

#include <atomic>
#include <cwctype>

namespace palvex::win32 {

namespace {

HMODULE g_instance = nullptr;
std::atomic<long> g_locks{0};

} // namespace

HMODULE ModuleInstance() {
    return g_instance;
}

void ModuleLock() {
    ++g_locks;
}

void ModuleUnlock() {
    --g_locks;
}

long ModuleLockCount() {
    return g_locks;
}

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(g_instance, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ModuleString(UINT id) {
    const wchar_t* text = nullptr;
    // A length of 0 asks for a pointer into the resource itself.
    const int n = LoadStringW(g_instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text != nullptr ? std::wstring(text, static_cast<std::size_t>(n))
                                    : std::wstring();
}

HRESULT ModuleTypeLib(ITypeLib** lib) {
    if (lib == nullptr) return E_POINTER;
    *lib = nullptr;
    const std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
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

const ClassInfo* ModuleClasses(std::size_t* count) {
    static const ClassInfo kClasses[] = {
        {&CLSID_Palvex, L"PALVEX.PalvexCtrl.1", IDS_PALVEX, CreatePalvexControl, true},
        {&CLSID_PalvexPropPage, L"PALVEX.PalvexPropPage.1", IDS_PALVEX_PPG, CreatePalvexPropPage,
         false},
    };
    *count = std::size(kClasses);
    return kClasses;
}

} // namespace palvex::win32

using namespace palvex::win32;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    return GetClassFactory(clsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    return RegisterServer(RegistrationScope::Machine);
}

STDAPI DllUnregisterServer() {
    return UnregisterServer(RegistrationScope::Machine);
}

// regsvr32 /n /i:user registers for the current user alone (below
// HKEY_CURRENT_USER\Software\Classes), /u /n /i:user removes that again.
// Any other command line registers for the machine, as DllRegisterServer.
extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
    RegistrationScope scope = RegistrationScope::Machine;
    if (commandLine != nullptr && _wcsicmp(commandLine, L"user") == 0)
        scope = RegistrationScope::User;
    return install ? RegisterServer(scope) : UnregisterServer(scope);
}
