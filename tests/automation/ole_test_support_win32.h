// Helpers for the tests of the control's Windows objects. The test program
// stands in for the module: it carries the module's own resources (the
// strings, dialog 200, the toolbox picture and the type library, from
// palvex_win32.rc), and the module's object count is the program's.
#pragma once

#include <windows.h>

#include <ole2.h>

namespace palvex::win32::test {

// Objects, factory references and locks of the module alive.
LONG ModuleLocks();

// An object that counts its references and the interfaces asked of it.
class CCountedObject : public IUnknown {
  public:
    virtual ~CCountedObject() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    // Interfaces it answers besides IUnknown (null: none).
    const IID* m_answers = nullptr;
    ULONG m_refs = 1;
    int m_queries = 0;
};

} // namespace palvex::win32::test
