// The module's entry points. Each one catches everything: no exception
// leaves the module.
#include "control/automation/module.h"

#include "control/automation/class_factory.h"
#include "control/automation/com_object.h"
#include "control/automation/oleauto.h"
#include "control/automation/registration.h"

#include <dlfcn.h>

#include <atomic>
#include <filesystem>

namespace palvex {

namespace com {

namespace {
std::atomic<long> g_moduleLocks{0};
} // namespace

void ModuleLock() {
    ++g_moduleLocks;
}
void ModuleUnlock() {
    --g_moduleLocks;
}
long ModuleLockCount() {
    return g_moduleLocks.load();
}

} // namespace com

CPalvexApp theApp;

namespace {
// A function that is always this file's own, whatever a program defines.
void Anchor() {}
} // namespace

std::string CPalvexApp::ModulePath() const {
    Dl_info info{};
    // A function of this file names the object it was loaded with.
    if (dladdr(reinterpret_cast<void*>(&Anchor), &info) == 0 || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0')
        return {};
    // The name it was loaded by, made absolute but with its links kept: a
    // registration of .../libpalvex.so.1 follows the library's updates.
    std::error_code ec;
    std::filesystem::path path = info.dli_fname;
    // A program started through PATH is known by its bare name.
    if (path.is_relative() && !path.has_parent_path())
        path = std::filesystem::read_symlink("/proc/self/exe", ec);
    else
        path = std::filesystem::absolute(path, ec).lexically_normal();
    return ec ? std::string() : path.string();
}

bool CPalvexApp::CanUnload() const {
    return com::ModuleLockCount() == 0;
}

} // namespace palvex

PALVEX_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    try {
        return palvex::GetClassFactory(clsid, riid, ppv);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

PALVEX_API HRESULT DllCanUnloadNow(void) {
    return palvex::theApp.CanUnload() ? S_OK : S_FALSE;
}

PALVEX_API HRESULT DllRegisterServer(void) {
    std::string path;
    try {
        path = palvex::theApp.ModulePath();
    } catch (...) {
        return SELFREG_E_TYPELIB;
    }
    return palvex::RegisterServer(path);
}

PALVEX_API HRESULT DllUnregisterServer(void) {
    return palvex::UnregisterServer();
}

PALVEX_API BSTR PalvexSysAllocStringLen(const OLECHAR* s, unsigned int len) {
    return SysAllocStringLen(s, len);
}

PALVEX_API void PalvexSysFreeString(BSTR s) {
    SysFreeString(s);
}

PALVEX_API unsigned int PalvexSysStringLen(BSTR s) {
    return SysStringLen(s);
}
