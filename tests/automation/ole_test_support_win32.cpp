#include "tests/automation/ole_test_support_win32.h"

#include "control/automation/com_object.h"

#include <gtest/gtest.h>

namespace palvex::win32 {

namespace {

// OLE for every test of the program, on its one thread.
class COleEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_EQ(OleInitialize(nullptr), S_OK); }
    void TearDown() override { OleUninitialize(); }
};

const auto* const g_ole = ::testing::AddGlobalTestEnvironment(new COleEnvironment);

} // namespace

namespace test {

LONG ModuleLocks() {
    return com::ModuleLockCount();
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
