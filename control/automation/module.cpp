// The module's object count and its entry points. Each entry point catches
// everything: no exception leaves the module.
#include "control/automation/module.h"

#include "control/automation/class_factory.h"
#include "control/automation/com_object.h"
#include "control/automation/registration.h"

#include "platform/os/dynamic_library.h"

#include <atomic>

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

namespace {
// A function that is always this file's own, whatever a program defines.
void Anchor() {}
} // namespace

std::string ModulePath() {
    // A function of this file names the object it was loaded with.
    return os::FileOfLoadedObject(reinterpret_cast<const void*>(&Anchor));
}

bool ModuleCanUnload() {
    return com::ModuleLockCount() == 0;
}

} // namespace palvex

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    try {
        return palvex::GetClassFactory(clsid, riid, ppv);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow(void) {
    return palvex::ModuleCanUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer(void) {
    return palvex::RegisterServer(palvex::RegistrationScope::Machine);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer(void) {
    return palvex::UnregisterServer(palvex::RegistrationScope::Machine);
}
