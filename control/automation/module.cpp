// The module's entry points. Each one catches everything: no exception
// leaves the module.
#include "control/automation/module.h"

#include "control/automation/class_factory.h"
#include "control/automation/com_object.h"
#include "control/automation/oleauto.h"
#include "control/automation/registration.h"

#include "platform/os/dynamic_library.h"

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
    // A function of this file names the object it was loaded with.
    return os::FileOfLoadedObject(reinterpret_cast<const void*>(&Anchor));
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
