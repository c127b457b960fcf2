// CPalvexPropPage: the control's property page. It shows dialog 200 with a
// single static text and edits no property: applying it changes nothing.
//
// What the page does is the same on every system and written here once:
// it holds the objects it is given, has nothing to apply and applies
// nothing. Each system's page interface adds how the page is shown
// (prop_page_linux.cpp: the dialog described for the host;
// prop_page_win32.cpp: the dialog made from the module's template).
#pragma once

#include "control/automation/com_object.h"

#include <vector>

namespace palvex {

template <class Derived, class PageInterface>
class CPropPageBase : public com::CComObject<Derived, PageInterface> {
  public:
    ~CPropPageBase() { Hold(0, nullptr); }

    void* Find(REFIID riid) {
        if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, Derived::kPageIid))
            return static_cast<PageInterface*>(this);
        return nullptr;
    }

    // The objects the page edits; each is held until the next call (count
    // 0 lets them go).
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override {
        if (count > 0 && objects == nullptr) return E_POINTER;
        for (ULONG i = 0; i < count; ++i)
            if (objects[i] == nullptr) return E_POINTER;
        return Hold(count, objects);
    }

    // The page has no field that could differ from the objects, and so
    // nothing to give them.
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }

  private:
    HRESULT Hold(ULONG count, IUnknown** objects) {
        std::vector<IUnknown*> held;
        try {
            held.assign(objects, objects + count);
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        for (IUnknown* o : held)
            o->AddRef();
        std::swap(held, m_objects);
        for (IUnknown* o : held)
            o->Release();
        return S_OK;
    }

    std::vector<IUnknown*> m_objects;
};

} // namespace palvex
