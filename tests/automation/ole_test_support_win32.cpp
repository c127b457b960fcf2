#include "tests/automation/ole_test_support_win32.h"

#include "control/automation/module_win32.h"

#include <gtest/gtest.h>

namespace palvex::win32 {

namespace {

LONG g_locks = 0;
GUID g_lastRequest = GUID_NULL;

// OLE for every test of the program, on its one thread.
class COleEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_EQ(OleInitialize(nullptr), S_OK); }
    void TearDown() override { OleUninitialize(); }
};

const auto* const g_ole = ::testing::AddGlobalTestEnvironment(new COleEnvironment);

} // namespace

HMODULE ModuleInstance() {
    return GetModuleHandleW(nullptr);
}
void ModuleLock() {
    InterlockedIncrement(&g_locks);
}
void ModuleUnlock() {
    InterlockedDecrement(&g_locks);
}

HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) {
    g_lastRequest = guid;
    *info = test::StandInTypeInfo();
    if (*info == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    (*info)->AddRef();
    return S_OK;
}

namespace test {

LONG ModuleLocks() {
    return g_locks;
}
GUID LastTypeInfoRequest() {
    return g_lastRequest;
}

ITypeInfo* StandInTypeInfo() {
    static ITypeInfo* info = [] {
        ITypeLib* library = nullptr;
        ITypeInfo* found = nullptr;
        if (SUCCEEDED(LoadTypeLibEx(L"stdole2.tlb", REGKIND_NONE, &library))) {
            // CLSID_StdFont
            const GUID stdFont = {
                0x0BE35203, 0x8F91, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
            library->GetTypeInfoOfGuid(stdFont, &found);
            library->Release();
        }
        return found;
    }();
    return info;
}

HRESULT CCountedObject::QueryInterface(REFIID riid, void** ppv) {
    ++m_queries;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && (m_answers == nullptr || !IsEqualIID(riid, *m_answers)))
        return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return S_OK;
}

} // namespace test
} // namespace palvex::win32
