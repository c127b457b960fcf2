#include "control/automation/dialog_size_win32.h"
#include "control/automation/class_factory.h"
#include "tests/automation/ole_test_support_win32.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <string>

namespace palvex::win32 {
namespace {

using test::CCountedObject;

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// A top-level window to hold the page, destroyed with the test.
class CParentWindow {
  public:
    CParentWindow()
        : m_hwnd(CreateWindowExW(0, L"STATIC", L"page host", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400,
                                 nullptr, nullptr, nullptr, nullptr)) {}
    ~CParentWindow() {
        if (m_hwnd != nullptr) DestroyWindow(m_hwnd);
    }
    HWND m_hwnd;
};

IPropertyPage* NewPage() {
    IPropertyPage* page = nullptr;
    EXPECT_EQ(CreatePropPageObject(IID_IPropertyPage, reinterpret_cast<void**>(&page)), S_OK);
    return page;
}

// The reader of the template agrees with the dialog the system makes from
// it, for both forms of template.
TEST(PalvexPropPage, IsTitledGeneralAndSizedAsTheDialogTheSystemCreates) {
    CParentWindow parent;
    ASSERT_NE(parent.m_hwnd, nullptr);
    for (const UINT id : {200u, 201u}) {
        SIZE size{};
        ASSERT_EQ(DialogTemplateSize(GetModuleHandleW(nullptr), id, &size), S_OK);
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                         parent.m_hwnd, NoDialogProc, 0);
        ASSERT_NE(dialog, nullptr) << id;
        RECT client{};
        GetClientRect(dialog, &client);
        DestroyWindow(dialog);
        EXPECT_EQ(size.cx, client.right) << id;
        EXPECT_EQ(size.cy, client.bottom) << id;
        EXPECT_GT(size.cx, 250) << id; // more than a pixel per dialog unit
    }
    SIZE size{};
    EXPECT_TRUE(FAILED(DialogTemplateSize(GetModuleHandleW(nullptr), 999, &size)));

    // The page's own size is its template's.
    IPropertyPage* page = NewPage();
    ASSERT_NE(page, nullptr);
    PROPPAGEINFO info{};
    ASSERT_EQ(page->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"General");
    ASSERT_EQ(DialogTemplateSize(GetModuleHandleW(nullptr), 200, &size), S_OK);
    EXPECT_EQ(info.size.cx, size.cx);
    EXPECT_EQ(info.size.cy, size.cy);
    CoTaskMemFree(info.pszTitle);
    page->Release();
}

TEST(PalvexPropPage, ActivatesItsDialogAtTheRectAndDestroysItOnDeactivation) {
    CParentWindow parent;
    ASSERT_NE(parent.m_hwnd, nullptr);
    IPropertyPage* page = NewPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
    const RECT at{12, 8, 412, 108};
    ASSERT_EQ(page->Activate(parent.m_hwnd, &at, FALSE), S_OK);
    EXPECT_EQ(page->Activate(parent.m_hwnd, &at, FALSE), E_UNEXPECTED);
    EXPECT_EQ(page->Show(SW_SHOW), S_OK);

    HWND dialog = FindWindowExW(parent.m_hwnd, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    RECT placed{};
    GetWindowRect(dialog, &placed);
    MapWindowPoints(HWND_DESKTOP, parent.m_hwnd, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, at.left);
    EXPECT_EQ(placed.top, at.top);
    EXPECT_EQ(placed.right, at.right);
    EXPECT_EQ(placed.bottom, at.bottom);

    HWND text = FindWindowExW(dialog, nullptr, L"Static", nullptr);
    ASSERT_NE(text, nullptr);
    wchar_t caption[128] = {};
    GetWindowTextW(text, caption, 128);
    EXPECT_STREQ(caption, L"TODO: Place controls to manipulate properties of Palvex Control on "
                          L"this dialog.");

    const RECT moved{0, 0, 300, 90};
    EXPECT_EQ(page->Move(&moved), S_OK);
    GetWindowRect(dialog, &placed);
    EXPECT_EQ(placed.right - placed.left, 300);

    EXPECT_EQ(page->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(FindWindowExW(parent.m_hwnd, nullptr, nullptr, nullptr), nullptr);
    page->Release();
}

TEST(PalvexPropPage, ApplyLeavesTheObjectsUntouchedAndReleasingThemGivesThemBack) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreatePropPageObject(IID_IPropertyPage2, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    IPropertyPage* page = NewPage();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(test::ModuleLocks(), 1);
    CCountedObject first;
    CCountedObject second;
    IUnknown* objects[] = {&first, &second};
    ASSERT_EQ(page->SetObjects(2, objects), S_OK);
    EXPECT_EQ(first.m_refs, 2u);
    EXPECT_EQ(second.m_refs, 2u);
    EXPECT_EQ(page->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(first.m_queries + second.m_queries, 0) << "applying asked the objects for something";
    EXPECT_EQ(page->TranslateAccelerator(nullptr), S_FALSE);
    EXPECT_EQ(page->Help(nullptr), E_NOTIMPL);

    IUnknown* withNull[] = {&first, nullptr};
    EXPECT_EQ(page->SetObjects(2, withNull), E_POINTER);
    EXPECT_EQ(first.m_refs, 2u);
    ASSERT_EQ(page->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(first.m_refs, 1u);
    EXPECT_EQ(second.m_refs, 1u);

    // Objects still held when the page goes are given back too.
    ASSERT_EQ(page->SetObjects(1, objects), S_OK);
    page->Release();
    EXPECT_EQ(first.m_refs, 1u);
    EXPECT_EQ(test::ModuleLocks(), 0);
}

} // namespace
} // namespace palvex::win32
