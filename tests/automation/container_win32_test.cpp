// The control in a real container: the ATL host window of the system's
// atl.dll creates it by its ProgID, as a form designer would, and the
// property frame of the system shows its page. Needs the control registered
// in the test prefix, its ProgID machine-wide: Wine finds no ProgID under
// HKCU\Software\Classes.
#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#define PALVEX_GUID_DEFINED
#include "control/automation/palvex_guids.h"

namespace {

constexpr wchar_t kProgId[] = L"PALVEX.PalvexCtrl.1";

class COleEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
    void TearDown() override { OleUninitialize(); }
};
const auto* const g_ole = ::testing::AddGlobalTestEnvironment(new COleEnvironment);

// atl.dll's host window class, registered once for the program, and its
// way to the hosted control.
using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

// An entry point by name, through void (*)() as the compiler wants for a
// cast between function types.
template <class F> F Entry(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

GetControl AtlHostReady() {
    static const GetControl getControl = []() -> GetControl {
        HMODULE atl = LoadLibraryW(L"atl.dll");
        if (atl == nullptr) return nullptr;
        using Init = BOOL(WINAPI*)();
        const auto init = Entry<Init>(atl, "AtlAxWinInit");
        if (init == nullptr || !init()) return nullptr;
        return Entry<GetControl>(atl, "AtlAxGetControl");
    }();
    return getControl;
}

// The control hosted in a child window of a new top-level window.
class CHostedControl {
  public:
    CHostedControl() {
        const GetControl getControl = AtlHostReady();
        if (getControl == nullptr) return;
        m_parent = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                   nullptr, nullptr, nullptr, nullptr);
        m_host = CreateWindowExW(0, L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, 10, 10, 200, 100,
                                 m_parent, nullptr, nullptr, nullptr);
        if (m_host != nullptr) getControl(m_host, &m_control);
    }
    ~CHostedControl() {
        if (m_control != nullptr) m_control->Release();
        if (m_parent != nullptr) DestroyWindow(m_parent);
    }

    HWND m_parent = nullptr;
    HWND m_host = nullptr;
    IUnknown* m_control = nullptr;
};

template <class I> I* Query(IUnknown* unknown, REFIID riid) {
    void* p = nullptr;
    EXPECT_EQ(unknown->QueryInterface(riid, &p), S_OK);
    return static_cast<I*>(p);
}

TEST(ControlInAContainer, AtlHostCreatesTheControlByProgIdGivesItASiteAndItDraws) {
    ASSERT_NE(AtlHostReady(), nullptr) << "atl.dll's host window is not available";
    CHostedControl hosted;
    IUnknown* control = hosted.m_control;
    ASSERT_NE(control, nullptr) << "the host did not create PALVEX.PalvexCtrl.1";

    IOleObject* ole = Query<IOleObject>(control, IID_IOleObject);
    DWORD status = 0;
    EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, 0x20491u);
    CLSID clsid{};
    EXPECT_EQ(ole->GetUserClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Palvex));
    IOleClientSite* site = nullptr;
    EXPECT_EQ(ole->GetClientSite(&site), S_OK);
    ASSERT_NE(site, nullptr) << "the host gave the control no site";
    site->Release();
    ole->Release();

    // The design-time picture in a 32-bit memory bitmap, with the default
    // black pen and white brush: white all over but the outline.
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof bmi.bmiHeader, 40, -30, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    IViewObject2* view = Query<IViewObject2>(control, IID_IViewObject2);
    const RECTL bounds{0, 0, 40, 30};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr,
                         nullptr, 0),
              S_OK);
    view->Release();
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0xFFFFFFu) << "corner";
    EXPECT_EQ(pixels[15 * 40 + 20] & 0xFFFFFF, 0xFFFFFFu) << "centre";
    EXPECT_EQ(pixels[15 * 40 + 0] & 0xFFFFFF, 0u) << "outline at the left edge";
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// What a form saves with its document: the hosted control writes its
// version stamp and the size the form gave it, and a new control loads both;
// the link state is not saved.
TEST(ControlInAContainer, SavesItsVersionStampAndSizeWithTheFormAndLoadsThemBack) {
    CHostedControl hosted;
    ASSERT_NE(hosted.m_control, nullptr);
    IOleObject* ole = Query<IOleObject>(hosted.m_control, IID_IOleObject);
    SIZEL size{5000, 3000};
    ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &size), S_OK);
    ole->Release();
    IPersistStreamInit* persist =
        Query<IPersistStreamInit>(hosted.m_control, IID_IPersistStreamInit);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(OleSaveToStream(reinterpret_cast<IPersistStream*>(persist), stream), S_OK);
    persist->Release();

    // The class, then 0x00010000 and the extent (5000 x 3000 HIMETRIC),
    // each least significant byte first.
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, sizeof(CLSID) + 12);
    HGLOBAL memory = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
    const auto* bytes = static_cast<const unsigned char*>(GlobalLock(memory));
    CLSID saved{};
    std::memcpy(&saved, bytes, sizeof saved);
    EXPECT_TRUE(IsEqualCLSID(saved, CLSID_Palvex));
    EXPECT_EQ(std::vector<unsigned char>(bytes + sizeof saved, bytes + sizeof saved + 12),
              (std::vector<unsigned char>{0x00, 0x00, 0x01, 0x00, 0x88, 0x13, 0x00, 0x00, 0xB8,
                                          0x0B, 0x00, 0x00}));
    GlobalUnlock(memory);

    const LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    IOleObject* loaded = nullptr;
    EXPECT_EQ(OleLoadFromStream(stream, IID_IOleObject, reinterpret_cast<void**>(&loaded)), S_OK);
    ASSERT_NE(loaded, nullptr);
    SIZEL back{};
    EXPECT_EQ(loaded->GetExtent(DVASPECT_CONTENT, &back), S_OK);
    EXPECT_EQ(back.cx, 5000);
    EXPECT_EQ(back.cy, 3000);
    loaded->Release();
    stream->Release();
}

// In place the control has a window of its own: a child of the host's
// window, where the host puts it, showing the picture; and it lists its
// Properties verb for the host's menu.
TEST(ControlInAContainer, HasAWindowOfItsOwnThatMovesWithTheHostAndPaints) {
    CHostedControl hosted;
    ASSERT_NE(hosted.m_control, nullptr);
    IOleInPlaceObject* inPlace = Query<IOleInPlaceObject>(hosted.m_control, IID_IOleInPlaceObject);
    HWND window = nullptr;
    ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window, hosted.m_host);
    EXPECT_EQ(GetParent(window), hosted.m_host);

    const RECT moved{5, 7, 45, 37};
    ASSERT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    RECT at{};
    GetWindowRect(window, &at);
    MapWindowPoints(nullptr, hosted.m_host, reinterpret_cast<POINT*>(&at), 2);
    EXPECT_EQ(at.left, 5);
    EXPECT_EQ(at.top, 7);
    EXPECT_EQ(at.right, 45);
    EXPECT_EQ(at.bottom, 37);

    // What it paints, taken from the window into a 40 x 30 bitmap.
    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof bmi.bmiHeader, 40, -30, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, 40, 30, BLACKNESS);
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0xFFFFFFu) << "corner";
    EXPECT_EQ(pixels[15 * 40 + 20] & 0xFFFFFF, 0xFFFFFFu) << "centre";
    EXPECT_EQ(pixels[15 * 40 + 0] & 0xFFFFFF, 0u) << "outline at the left edge";
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);

    IOleObject* ole = Query<IOleObject>(hosted.m_control, IID_IOleObject);
    IEnumOLEVERB* verbs = nullptr;
    ASSERT_EQ(ole->EnumVerbs(&verbs), S_OK);
    OLEVERB verb{};
    ULONG fetched = 0;
    ASSERT_EQ(verbs->Next(1, &verb, &fetched), S_OK);
    EXPECT_EQ(verb.lVerb, OLEIVERB_PROPERTIES);
    EXPECT_STREQ(verb.lpszVerbName, L"&Properties...");
    CoTaskMemFree(verb.lpszVerbName);
    EXPECT_EQ(verbs->Next(1, &verb, &fetched), S_FALSE);
    verbs->Release();

    // Deactivated, it has no window any more.
    EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);
    ole->Release();
    inPlace->Release();
}

// The property frame is modal: a timer looks for the page's text in it and
// cancels it.
std::wstring g_pageText;

BOOL CALLBACK FindPageText(HWND child, LPARAM) {
    wchar_t text[128] = {};
    GetWindowTextW(child, text, 128);
    if (wcsncmp(text, L"TODO:", 5) == 0) g_pageText = text;
    return TRUE;
}

BOOL CALLBACK CancelFrame(HWND window, LPARAM) {
    if (!IsWindowVisible(window)) return TRUE;
    EnumChildWindows(window, FindPageText, 0);
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CancelFrame, 0);
}

TEST(ControlInAContainer, PropertyFrameShowsTheControlsPage) {
    CHostedControl hosted;
    IUnknown* control = hosted.m_control;
    ASSERT_NE(control, nullptr);
    g_pageText.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 300, OnTimer);
    CLSID page = CLSID_PalvexPropPage;
    EXPECT_EQ(OleCreatePropertyFrame(hosted.m_parent, 0, 0, L"Palvex Control", 1, &control, 1,
                                     &page, LOCALE_USER_DEFAULT, 0, nullptr),
              S_OK);
    KillTimer(nullptr, timer);
    EXPECT_EQ(g_pageText,
              L"TODO: Place controls to manipulate properties of Palvex Control on this dialog.");
}

} // namespace
