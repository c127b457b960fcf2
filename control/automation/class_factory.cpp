#include "control/automation/class_factory.h"

#include "control/automation/com_object.h"
#include "control/automation/control_object.h"
#include "control/automation/module_resources.h"

#include <atomic>
#include <iterator>

namespace palvex {

namespace {

const ClassInfo kClasses[] = {
    {&CLSID_Palvex, PALVEX_CONTROL_PROGID, res::IDS_PALVEX, CreateControlObject, true},
    {&CLSID_PalvexPropPage, PALVEX_PROPPAGE_PROGID, res::IDS_PALVEX_PPG, CreatePropPageObject,
     false},
};

// LockServer's own count, so an unbalanced unlock cannot take away a lock
// an object holds.
std::atomic<long> g_serverLocks{0};

// One factory per class, alive as long as the module is loaded (a constant
// object, made before any code of the module runs). Every reference to it
// counts as a lock on the module.
class CClassFactory final : public IClassFactory {
  public:
    explicit constexpr CClassFactory(const ClassInfo& info) : m_info(info) {}

    const ClassInfo& Info() const { return m_info; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!SameGuid(riid, IID_IUnknown) && !SameGuid(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        com::ModuleLock();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        com::ModuleUnlock();
        return 1;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return m_info.create(riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ++g_serverLocks;
            com::ModuleLock();
            return S_OK;
        }
        long held = g_serverLocks.load();
        do {
            if (held == 0) return E_UNEXPECTED;
        } while (!g_serverLocks.compare_exchange_weak(held, held - 1));
        com::ModuleUnlock();
        return S_OK;
    }

  private:
    const ClassInfo& m_info;
};

CClassFactory g_factories[] = {CClassFactory(kClasses[0]), CClassFactory(kClasses[1])};
static_assert(std::size(g_factories) == std::size(kClasses));

} // namespace

std::span<const ClassInfo> ModuleClasses() {
    return kClasses;
}

HRESULT GetClassFactory(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (CClassFactory& f : g_factories)
        if (SameGuid(*f.Info().clsid, clsid)) return f.QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace palvex
