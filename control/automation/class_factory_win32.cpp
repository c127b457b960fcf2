// One class factory per creatable class, alive as long as the module is
// loaded. References to a factory and server locks keep the module loaded.
#include "control/automation/module_win32.h"

namespace palvex::win32 {

namespace {

class CClassFactory final : public IClassFactory {
  public:
    explicit constexpr CClassFactory(const ClassInfo* info) : m_info(info) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // The factory is a static object: its count is the module's.
    ULONG STDMETHODCALLTYPE AddRef() override {
        ModuleLock();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ModuleUnlock();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return m_info->create(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            ModuleLock();
        else
            ModuleUnlock();
        return S_OK;
    }

  private:
    const ClassInfo* m_info;
};

} // namespace

HRESULT GetClassFactory(REFCLSID clsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    std::size_t count = 0;
    const ClassInfo* classes = ModuleClasses(&count);
    // One factory per class, made on first use and kept for the module's life.
    static CClassFactory factories[] = {CClassFactory(&classes[0]), CClassFactory(&classes[1])};
    static_assert(std::size(factories) == 2);
    for (std::size_t i = 0; i < count && i < std::size(factories); ++i)
        if (clsid == *classes[i].clsid) return factories[i].QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace palvex::win32
