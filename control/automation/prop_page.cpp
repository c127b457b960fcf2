#include "control/automation/prop_page.h"

#include "control/automation/com_object.h"
#include "control/automation/module_resources.h"

#include <vector>

namespace palvex {

namespace {

class CPalvexPropPage final : public com::CComObject {
  public:
    ~CPalvexPropPage() override { ReleaseObjects(); }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (SameGuid(*riid, IID_IUnknown) || SameGuid(*riid, IID_IPalvexPropertyPage))
            return Hand(&m_page.iface, ppv);
        return E_NOINTERFACE;
    }

  private:
    using Self = CPalvexPropPage;

    void ReleaseObjects() {
        for (IUnknown* o : m_objects)
            o->lpVtbl->Release(o);
        m_objects.clear();
    }

    static HRESULT GetPageInfo(IPalvexPropertyPage*, PALVEX_PAGEINFO* info) {
        if (info == nullptr) return E_POINTER;
        const PALVEX_DIALOG& dialog = res::PropPageDialog();
        *info = PALVEX_PAGEINFO{dialog.caption, dialog.cx, dialog.cy, nullptr, nullptr, 0};
        return S_OK;
    }

    static HRESULT GetDialog(IPalvexPropertyPage*, const PALVEX_DIALOG** dialog) {
        if (dialog == nullptr) return E_POINTER;
        *dialog = &res::PropPageDialog();
        return S_OK;
    }

    static HRESULT SetObjects(IPalvexPropertyPage* This, ULONG count, IUnknown** objects) {
        if (count > 0 && objects == nullptr) return E_POINTER;
        for (ULONG i = 0; i < count; ++i)
            if (objects[i] == nullptr) return E_POINTER;
        Self& self = *com::ObjectOf<Self>(This);
        std::vector<IUnknown*> held;
        try {
            held.assign(objects, objects + count);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        for (IUnknown* o : held)
            o->lpVtbl->AddRef(o);
        self.ReleaseObjects();
        self.m_objects = std::move(held);
        return S_OK;
    }

    // The page has no field that could differ from the objects.
    static HRESULT IsPageDirty(IPalvexPropertyPage*) { return S_FALSE; }

    // The data exchange of a page without fields: nothing goes to the
    // objects.
    static HRESULT Apply(IPalvexPropertyPage*) { return S_OK; }

    static constexpr IPalvexPropertyPageVtbl kPage = {
        com::QueryInterfaceThunk<Self, IPalvexPropertyPage>,
        com::AddRefThunk<Self, IPalvexPropertyPage>,
        com::ReleaseThunk<Self, IPalvexPropertyPage>,
        GetPageInfo,
        GetDialog,
        SetObjects,
        IsPageDirty,
        Apply,
    };

    std::vector<IUnknown*> m_objects;
    com::InterfaceOf<IPalvexPropertyPage, Self> m_page{&kPage, this};
};

} // namespace

HRESULT CreatePropPageObject(REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexPropPage>(riid, ppv);
}

} // namespace palvex
