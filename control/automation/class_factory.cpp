#include "control/automation/class_factory.h"

#include "control/automation/com_object.h"
#include "control/automation/control_object.h"
#include "control/automation/module_resources.h"
#include "control/automation/prop_page.h"
#include "control/automation/registry_layout.h"

#include <atomic>
#include <iterator>

namespace palvex {

namespace {

const ClassInfo kClasses[] = {
    {&CLSID_Palvex, layout::kControlProgId, res::IDS_PALVEX, CreateControlObject, true},
    {&CLSID_PalvexPropPage, layout::kPropPageProgId, res::IDS_PALVEX_PPG, CreatePropPageObject,
     false},
};

// LockServer's own count, so an unbalanced unlock cannot take away a lock
// an object holds.
std::atomic<long> g_serverLocks{0};

// One factory per class, alive as long as the module is loaded. Every
// reference to it counts as a lock on the module.
class CClassFactory {
  public:
    explicit CClassFactory(const ClassInfo& info) : m_factory(&kTable, this), m_info(info) {}

    IClassFactory* Interface() { return &m_factory.iface; }
    const ClassInfo& Info() const { return m_info; }

  private:
    using Self = CClassFactory;

    static HRESULT QueryInterface(IClassFactory* This, REFIID riid, void** ppv) {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid == nullptr) return E_INVALIDARG;
        if (!SameGuid(*riid, IID_IUnknown) && !SameGuid(*riid, IID_IClassFactory))
            return E_NOINTERFACE;
        *ppv = This;
        AddRef(This);
        return S_OK;
    }
    static ULONG AddRef(IClassFactory*) {
        com::ModuleLock();
        return 2;
    }
    static ULONG Release(IClassFactory*) {
        com::ModuleUnlock();
        return 1;
    }

    static HRESULT CreateInstance(IClassFactory* This, IUnknown* outer, REFIID riid, void** ppv) {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return com::ObjectOf<Self>(This)->m_info.create(riid, ppv);
    }

    static HRESULT LockServer(IClassFactory*, BOOL lock) {
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

    static constexpr IClassFactoryVtbl kTable = {QueryInterface, AddRef, Release, CreateInstance,
                                                 LockServer};

    com::InterfaceOf<IClassFactory, Self> m_factory;
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
    if (clsid == nullptr || riid == nullptr) return E_INVALIDARG;
    for (CClassFactory& f : g_factories) {
        if (!SameGuid(*f.Info().clsid, *clsid)) continue;
        IClassFactory* factory = f.Interface();
        return factory->lpVtbl->QueryInterface(factory, riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace palvex
