// The machinery behind the module's objects, on every system: an object
// derives from the interfaces it offers through CComObject, which gives them
// one reference count and one QueryInterface; the object only says which
// interface answers an identifier (Find).
//
// Every object counts itself in the module while it is alive, so that
// DllCanUnloadNow can tell whether the module may go.
#pragma once

#include "control/automation/com_support.h"

#include <atomic>
#include <new>
#include <utility>

namespace palvex::com {

// Live objects, references to the class factories and server locks.
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

// A reference-counted object of class Derived offering Interfaces. Derived
// defines `void* Find(REFIID riid)`: the interface that answers riid (this
// object cast to it), or nullptr. Objects start with one reference, the one
// their creator hands out, and delete themselves with the last.
template <class Derived, class... Interfaces> class CComObject : public Interfaces... {
  public:
    CComObject() { ModuleLock(); }
    ~CComObject() { ModuleUnlock(); }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = static_cast<Derived*>(this)->Find(riid);
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

  private:
    std::atomic<ULONG> m_refs{1};
};

// Makes an object and hands out the asked-for interface; the creator's own
// reference goes after the query, so a refused interface frees the object.
template <class Object, class... Args>
HRESULT CreateAndQuery(REFIID riid, void** ppv, Args&&... args) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    Object* object = nullptr;
    try {
        object = new Object(std::forward<Args>(args)...);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

} // namespace palvex::com
