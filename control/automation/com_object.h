// The machinery behind the module's objects: every interface a host sees is
// a C struct holding a pointer to a table of functions; the object keeps one
// such struct per interface it offers, each paired with a pointer back to
// the object, and the table's functions find the object through it.
//
// Every object counts itself in the module while it is alive, so that
// DllCanUnloadNow can tell whether the module may go.
#pragma once

#include "control/automation/com_support.h"

#include <atomic>
#include <utility>

namespace palvex::com {

// Live objects, references to the class factories and server locks.
void ModuleLock();
void ModuleUnlock();
long ModuleLockCount();

// One interface of an object. Standard layout with the interface first, so a
// pointer to `iface` is a pointer to the whole.
template <class Interface, class Object> struct InterfaceOf {
    Interface iface;
    Object* object;

    InterfaceOf(decltype(Interface::lpVtbl) table, Object* owner) : iface{table}, object(owner) {}
};

template <class Object, class Interface> Object* ObjectOf(Interface* p) {
    return reinterpret_cast<InterfaceOf<Interface, Object>*>(p)->object;
}

// A reference-counted object that counts itself in the module. Objects
// start with one reference, the one their creator hands out.
class CComObject {
  public:
    CComObject() { ModuleLock(); }
    virtual ~CComObject() { ModuleUnlock(); }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    ULONG AddRef() { return ++m_refs; }
    ULONG Release() {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    // Hands out the interface named by riid, or E_NOINTERFACE with *ppv null.
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;

  protected:
    // QueryInterface's common end: one more reference on the way out.
    HRESULT Hand(void* iface, void** ppv) {
        *ppv = iface;
        AddRef();
        return S_OK;
    }

  private:
    std::atomic<ULONG> m_refs{1};
};

// The three functions every table begins with, for an object derived from
// CComObject.
template <class Object, class Interface>
HRESULT QueryInterfaceThunk(Interface* This, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == nullptr) return E_INVALIDARG;
    return ObjectOf<Object>(This)->QueryInterface(riid, ppv);
}
template <class Object, class Interface> ULONG AddRefThunk(Interface* This) {
    return ObjectOf<Object>(This)->AddRef();
}
template <class Object, class Interface> ULONG ReleaseThunk(Interface* This) {
    return ObjectOf<Object>(This)->Release();
}

// Runs a creation and hands out the asked-for interface; the creator's own
// reference goes after the query, so a refused interface frees the object.
template <class Object, class... Args>
HRESULT CreateAndQuery(REFIID riid, void** ppv, Args&&... args) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (riid == nullptr) return E_INVALIDARG;
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
