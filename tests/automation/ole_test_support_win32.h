// Stand-ins for the module around the control's Windows objects: the test
// program is the module (its resources hold dialog 200 and strings 1 and
// 200), and its counts of live objects and locks are kept here.
#pragma once

#include <windows.h>

#include <ole2.h>

namespace palvex::win32::test {

// ModuleLock calls not yet matched by ModuleUnlock.
LONG ModuleLocks();
// The identifier the last ModuleTypeInfo call asked for, and the type
// information it handed out (stdole2's for StdFont, standing in for the
// control's own type library).
GUID LastTypeInfoRequest();
ITypeInfo* StandInTypeInfo();

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
