#include "control/automation/control_object.h"
#include "control/automation/ole_control_win32.h"
#include "tests/automation/ole_test_support_win32.h"

#include <gtest/gtest.h>

#include <olectl.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace palvex::win32 {
namespace {

using test::CCountedObject;

// The control object as the parts see it: the outer unknown that holds them
// and answers what they do not.
class CTestControl final : public IUnknown {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = IsEqualIID(riid, IID_IUnknown) ? static_cast<IUnknown*>(this) : m_parts.Find(riid);
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

    template <class I> I* Part(REFIID riid) {
        void* p = nullptr;
        EXPECT_EQ(QueryInterface(riid, &p), S_OK);
        return static_cast<I*>(p);
    }

    ULONG m_refs = 1;
    SControlExtent m_extent;
    COleControlParts m_parts{this, m_extent};
};

// The control as the module makes it: the control object with its parts.
template <class I> I* NewControl(REFIID riid) {
    I* control = nullptr;
    EXPECT_EQ(CreateControlObject(riid, reinterpret_cast<void**>(&control)), S_OK);
    return control;
}

// A container's site that agrees to in-place activation (unless told not
// to) and logs what the control asks of it.
class CTestSite final : public IOleClientSite, public IOleInPlaceSite {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *ppv = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceSite))
            *ppv = static_cast<IOleInPlaceSite*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* hwnd) override {
        *hwnd = m_window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
        m_log += "can ";
        return m_agrees ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return Log("activate "); }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return Log("ui "); }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT pos, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO) override {
        *frame = nullptr;
        *doc = nullptr;
        *pos = *clip = RECT{10, 20, 110, 70};
        return Log("context ");
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return Log("ui-off "); }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return Log("deactivate "); }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    HRESULT Log(const char* what) {
        m_log += what;
        return S_OK;
    }

    CTestSite()
        : m_window(CreateWindowExW(0, L"STATIC", L"site", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr)) {}
    ~CTestSite() { DestroyWindow(m_window); }

    ULONG m_refs = 1;
    bool m_agrees = true;
    HWND m_window;
    std::string m_log;
};

class CTestAdviseSink final : public IAdviseSink {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override { ++m_viewChanges; }
    void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override { ++m_closes; }
    ULONG m_refs = 1;
    int m_viewChanges = 0;
    int m_closes = 0;
};

// A property bag in memory.
class CTestBag final : public IPropertyBag {
  public:
    ~CTestBag() {
        for (auto& [name, value] : m_values)
            VariantClear(&value);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        const auto it = m_values.find(name);
        if (it == m_values.end()) return E_INVALIDARG;
        return VariantChangeType(value, &it->second, 0, V_VT(value));
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* value) override {
        VARIANT copy;
        VariantInit(&copy);
        const HRESULT hr = VariantCopy(&copy, value);
        if (SUCCEEDED(hr)) m_values[name] = copy;
        return hr;
    }
    std::map<std::wstring, VARIANT> m_values;
};

std::vector<BYTE> StreamBytes(IStream* stream) {
    HGLOBAL memory = nullptr;
    EXPECT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    const auto* p = static_cast<const BYTE*>(GlobalLock(memory));
    std::vector<BYTE> bytes(p, p + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return bytes;
}

const std::vector<BYTE> kStamp = {0x00, 0x00, 0x01, 0x00};
// The stamp and a new control's extent, 2540 x 1270 HIMETRIC.
const std::vector<BYTE> kState = {0x00, 0x00, 0x01, 0x00, 0xEC, 0x09, 0x00,
                                  0x00, 0xF6, 0x04, 0x00, 0x00};

TEST(OleControlParts, AnswersEachContainerInterfaceWithOneReferenceOnTheOuterObject) {
    const struct {
        const IID* iid;
        bool answered;
    } cases[] = {
        {&IID_IOleObject, true},
        {&IID_IOleInPlaceObject, true},
        {&IID_IOleWindow, true},
        {&IID_IOleInPlaceActiveObject, true},
        {&IID_IOleControl, true},
        {&IID_IViewObject, true},
        {&IID_IViewObject2, true},
        {&IID_IPersistStorage, true},
        {&IID_IPersistPropertyBag, true},
        {&IID_IProvideClassInfo, true},
        {&IID_IProvideClassInfo2, true},
        {&IID_ISpecifyPropertyPages, true},
        {&IID_IConnectionPointContainer, true},
        // The control object's own: the parts have none of them.
        {&IID_IDispatch, false},
        {&IID_IPersistStreamInit, false},
        {&IID_IPersistFile, false},
        {&IID_IViewObjectEx, false},
        {&IID_IOleInPlaceObjectWindowless, false},
    };
    CTestControl control;
    for (const auto& c : cases) {
        void* p = reinterpret_cast<void*>(1);
        const HRESULT hr = control.QueryInterface(*c.iid, &p);
        if (!c.answered) {
            EXPECT_EQ(hr, E_NOINTERFACE);
            EXPECT_EQ(p, nullptr);
            continue;
        }
        ASSERT_EQ(hr, S_OK);
        EXPECT_EQ(control.m_refs, 2u);
        // The part's IUnknown is the control's: one identity.
        IUnknown* identity = nullptr;
        ASSERT_EQ(static_cast<IUnknown*>(p)->QueryInterface(IID_IUnknown,
                                                            reinterpret_cast<void**>(&identity)),
                  S_OK);
        EXPECT_EQ(identity, static_cast<IUnknown*>(&control));
        identity->Release();
        static_cast<IUnknown*>(p)->Release();
        EXPECT_EQ(control.m_refs, 1u);
    }
}

// The control object answers the stream interfaces itself; its parts' and
// its own IUnknown are one.
TEST(OleControl, SavesItsStreamThroughEveryStreamInterfaceOfOneIdentity) {
    IUnknown* control = NewControl<IUnknown>(IID_IUnknown);
    ASSERT_NE(control, nullptr);
    for (const IID* iid : {&IID_IPersistStreamInit, &IID_IPersistStream, &IID_IPersist,
                           &IID_IOleObject, &IID_IPersistPropertyBag, &IID_IDispatch}) {
        IUnknown* part = nullptr;
        ASSERT_EQ(control->QueryInterface(*iid, reinterpret_cast<void**>(&part)), S_OK);
        IUnknown* identity = nullptr;
        ASSERT_EQ(part->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        EXPECT_EQ(identity, control);
        identity->Release();
        part->Release();
    }
    // IPersistStream's table is the start of IPersistStreamInit's: the same
    // object, so OleSaveToStream reaches the stream the control saves.
    void* stream = nullptr;
    void* streamInit = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IPersistStream, &stream), S_OK);
    ASSERT_EQ(control->QueryInterface(IID_IPersistStreamInit, &streamInit), S_OK);
    EXPECT_EQ(stream, streamInit);
    static_cast<IUnknown*>(stream)->Release();
    static_cast<IUnknown*>(streamInit)->Release();
    EXPECT_EQ(control->Release(), 0u);
    EXPECT_EQ(test::ModuleLocks(), 0);
}

TEST(OleControl, StreamHoldsTheVersionStampAndLoadsAnyStampButNotAShortStream) {
    IPersistStreamInit* persist = NewControl<IPersistStreamInit>(IID_IPersistStreamInit);
    ASSERT_NE(persist, nullptr);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(persist->Save(stream, TRUE), S_OK);
    EXPECT_EQ(StreamBytes(stream), kState);
    ULARGE_INTEGER max{};
    EXPECT_EQ(persist->GetSizeMax(&max), S_OK);
    EXPECT_EQ(max.QuadPart, kState.size());
    EXPECT_EQ(persist->IsDirty(), S_FALSE);
    stream->Release();

    const struct {
        std::vector<BYTE> bytes;
        bool loads;
    } loads[] = {{kState, true},
                 {kStamp, true}, // what the control saved before it kept its extent
                 {{0x03, 0x00, 0x02, 0x00}, true},
                 {{0x00, 0x00, 0x01, 0x00, 0x10, 0x27}, false}, // an extent cut short
                 {{0x00, 0x00}, false},
                 {{}, false}};
    for (const auto& c : loads) {
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
        stream->Write(c.bytes.data(), static_cast<ULONG>(c.bytes.size()), nullptr);
        stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
        EXPECT_EQ(SUCCEEDED(persist->Load(stream)), c.loads) << c.bytes.size() << " bytes";
        stream->Release();
    }
    persist->Release();
}

TEST(OleControlParts, StorageHoldsTheStampAndExtentInItsContentsStream) {
    CTestControl control;
    IPersistStorage* persist = control.Part<IPersistStorage>(IID_IPersistStorage);
    ILockBytes* bytes = nullptr;
    IStorage* storage = nullptr;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes), S_OK);
    ASSERT_EQ(StgCreateDocfileOnILockBytes(
                  bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage),
              S_OK);
    // A storage without the stream is not the control's.
    EXPECT_TRUE(FAILED(persist->Load(storage)));
    ASSERT_EQ(persist->InitNew(storage), S_OK);
    ASSERT_EQ(persist->Save(storage, TRUE), S_OK);
    EXPECT_EQ(persist->SaveCompleted(nullptr), S_OK);

    IStream* stream = nullptr;
    ASSERT_EQ(
        storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream),
        S_OK);
    BYTE read[16] = {};
    ULONG count = 0;
    stream->Read(read, sizeof read, &count);
    stream->Release();
    EXPECT_EQ(std::vector<BYTE>(read, read + count), kState);
    EXPECT_EQ(persist->Load(storage), S_OK);

    storage->Release();
    bytes->Release();
    persist->Release();
}

// A page that holds the control as properties (HTML, a VB form in text):
// the version and the extent, which load back; a bag without them loads too.
TEST(OleControlParts, PropertyBagHoldsTheVersionAndExtentAndLoadsWithoutThem) {
    CTestControl control;
    IPersistPropertyBag* persist = control.Part<IPersistPropertyBag>(IID_IPersistPropertyBag);
    control.m_extent = {5000, 3000};
    CTestBag bag;
    ASSERT_EQ(persist->Save(&bag, TRUE, TRUE), S_OK);
    ASSERT_EQ(bag.m_values.size(), 3u);
    const struct {
        const wchar_t* name;
        LONG value;
    } saved[] = {{L"_Version", 65536}, {L"_ExtentX", 5000}, {L"_ExtentY", 3000}};
    for (const auto& p : saved) {
        EXPECT_EQ(V_VT(&bag.m_values[p.name]), VT_I4) << p.name;
        EXPECT_EQ(V_I4(&bag.m_values[p.name]), p.value) << p.name;
    }
    EXPECT_EQ(persist->InitNew(), S_OK);
    EXPECT_EQ(control.m_extent, SControlExtent{});
    EXPECT_EQ(persist->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(control.m_extent, (SControlExtent{5000, 3000}));
    CTestBag empty;
    EXPECT_EQ(persist->Load(&empty, nullptr), S_OK);
    EXPECT_EQ(control.m_extent, (SControlExtent{5000, 3000}));
    persist->Release();
}

TEST(OleControlParts, TellsTheContainerItsClassTypeStatusExtentEventsAndPage) {
    CTestControl control;
    IOleObject* ole = control.Part<IOleObject>(IID_IOleObject);
    DWORD status = 0;
    EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, 0x20491u);
    EXPECT_EQ(ole->GetMiscStatus(DVASPECT_ICON, &status), S_OK);
    EXPECT_EQ(status, 0u);
    CLSID clsid{};
    EXPECT_EQ(ole->GetUserClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Palvex));
    LPOLESTR type = nullptr;
    ASSERT_EQ(ole->GetUserType(USERCLASSTYPE_FULL, &type), S_OK);
    EXPECT_STREQ(type, L"Palvex Control");
    CoTaskMemFree(type);
    SIZEL wanted{5000, 3000};
    SIZEL size{};
    EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &wanted), S_OK);
    EXPECT_EQ(ole->SetExtent(DVASPECT_ICON, &wanted), DV_E_DVASPECT);
    SIZEL negative{-1, 10};
    EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &negative), E_INVALIDARG);
    IViewObject2* view = control.Part<IViewObject2>(IID_IViewObject2);
    EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &size), S_OK);
    EXPECT_EQ(size.cx, 5000);
    EXPECT_EQ(size.cy, 3000);
    view->Release();
    ole->Release();

    IProvideClassInfo2* info = control.Part<IProvideClassInfo2>(IID_IProvideClassInfo2);
    GUID events{};
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    EXPECT_TRUE(IsEqualIID(events, DIID__DPalvexEvents));
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &events), E_INVALIDARG);
    // The class's own description, from the type library in the module.
    ITypeInfo* typeInfo = nullptr;
    ASSERT_EQ(info->GetClassInfo(&typeInfo), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(typeInfo->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, CLSID_Palvex));
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    typeInfo->ReleaseTypeAttr(attr);
    typeInfo->Release();
    info->Release();

    ISpecifyPropertyPages* pages = control.Part<ISpecifyPropertyPages>(IID_ISpecifyPropertyPages);
    CAUUID ids{};
    ASSERT_EQ(pages->GetPages(&ids), S_OK);
    ASSERT_EQ(ids.cElems, 1u);
    EXPECT_TRUE(IsEqualCLSID(ids.pElems[0], CLSID_PalvexPropPage));
    CoTaskMemFree(ids.pElems);
    pages->Release();
    EXPECT_EQ(control.m_refs, 1u);
}

TEST(OleControlParts, DrawsAWhiteBoxWithAnEllipseInTheContextsPenAndBrush) {
    constexpr int kWidth = 64;
    constexpr int kHeight = 48;
    constexpr COLORREF kPen = RGB(255, 0, 0);
    constexpr COLORREF kBrush = RGB(0, 0, 255);
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = kWidth;
    bmi.bmiHeader.biHeight = -kHeight; // top-down
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HPEN pen = CreatePen(PS_SOLID, 1, kPen);
    HBRUSH brush = CreateSolidBrush(kBrush);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    std::fill_n(static_cast<std::uint32_t*>(bits), kWidth * kHeight, 0u); // black

    CTestControl control;
    IViewObject2* view = control.Part<IViewObject2>(IID_IViewObject2);
    const RECTL bounds{4, 4, 60, 44};
    EXPECT_EQ(
        view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
        DV_E_DVASPECT);
    ASSERT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr,
                         nullptr, 0),
              S_OK);
    view->Release();
    GdiFlush();

    // COLORREF is 0x00BBGGRR; the DIB's pixel 0x00RRGGBB.
    const auto at = [&](int x, int y) {
        const std::uint32_t p = static_cast<const std::uint32_t*>(bits)[y * kWidth + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    };
    EXPECT_EQ(at(0, 0), RGB(0, 0, 0)) << "outside the bounds";
    EXPECT_EQ(at(63, 47), RGB(0, 0, 0)) << "outside the bounds";
    EXPECT_EQ(at(4, 4), RGB(255, 255, 255)) << "corner";
    EXPECT_EQ(at(59, 43), RGB(255, 255, 255)) << "corner";
    EXPECT_EQ(at(32, 24), kBrush) << "centre";
    // Along the middle row from the left edge: white, then the outline.
    int x = 4;
    while (x < 32 && at(x, 24) == RGB(255, 255, 255))
        ++x;
    EXPECT_LE(x, 6);
    EXPECT_EQ(at(x, 24), kPen) << "first pixel of the outline at x " << x;

    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBitmap);
    DeleteObject(brush);
    DeleteObject(pen);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST(OleControlParts, ActivatesInPlaceThroughTheSiteAndDeactivates) {
    CTestControl control;
    CTestSite site;
    IOleObject* ole = control.Part<IOleObject>(IID_IOleObject);
    IOleInPlaceObject* inPlace = control.Part<IOleInPlaceObject>(IID_IOleInPlaceObject);
    ASSERT_EQ(ole->SetClientSite(&site), S_OK);
    EXPECT_EQ(site.m_refs, 2u);
    HWND window = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);

    ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(site.m_log, "can activate context ");
    // A window of its own in the site's, where the site puts it.
    EXPECT_EQ(inPlace->GetWindow(&window), S_OK);
    EXPECT_EQ(GetParent(window), site.m_window);
    RECT at{};
    GetWindowRect(window, &at);
    MapWindowPoints(nullptr, site.m_window, reinterpret_cast<POINT*>(&at), 2);
    EXPECT_EQ(at.left, 10);
    EXPECT_EQ(at.bottom, 70);
    ASSERT_EQ(ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, nullptr, 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_EQ(site.m_log, "can activate context ui ui-off deactivate ");
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);

    // Unknown verbs: a negative one is refused, a positive one is primary.
    EXPECT_EQ(ole->DoVerb(-42, nullptr, nullptr, 0, nullptr, nullptr), E_NOTIMPL);
    site.m_log.clear();
    EXPECT_EQ(ole->DoVerb(7, nullptr, nullptr, 0, nullptr, nullptr), OLEOBJ_S_INVALIDVERB);
    EXPECT_EQ(site.m_log, "can activate context ui ");
    EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);

    site.m_agrees = false;
    site.m_log.clear();
    EXPECT_EQ(ole->DoVerb(OLEIVERB_SHOW, nullptr, nullptr, 0, nullptr, nullptr),
              OLEOBJ_S_CANNOT_DOVERB_NOW);
    EXPECT_EQ(site.m_log, "can ");

    ASSERT_EQ(ole->SetClientSite(nullptr), S_OK);
    EXPECT_EQ(site.m_refs, 1u);
    inPlace->Release();
    ole->Release();
    EXPECT_EQ(control.m_refs, 1u);
}

TEST(OleControlParts, TellsItsAdviseSinksOfClosingAndItsViewSinkAtOnce) {
    CTestControl control;
    CTestAdviseSink sink;
    IOleObject* ole = control.Part<IOleObject>(IID_IOleObject);
    DWORD connection = 0;
    ASSERT_EQ(ole->Advise(&sink, &connection), S_OK);
    EXPECT_EQ(ole->Close(OLECLOSE_SAVEIFDIRTY), S_OK);
    EXPECT_EQ(sink.m_closes, 1);
    EXPECT_EQ(ole->Unadvise(connection), S_OK);
    ole->Release();

    IViewObject2* view = control.Part<IViewObject2>(IID_IViewObject2);
    ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, ADVF_PRIMEFIRST, &sink), S_OK);
    EXPECT_EQ(sink.m_viewChanges, 1);
    IAdviseSink* held = nullptr;
    ASSERT_EQ(view->GetAdvise(nullptr, nullptr, &held), S_OK);
    EXPECT_EQ(held, &sink);
    held->Release();
    ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, nullptr), S_OK);
    EXPECT_EQ(sink.m_refs, 1u);
    view->Release();
}

TEST(OleControlParts, ConnectionPointKeepsEventSinksByCookie) {
    CTestControl control;
    auto* container = control.Part<IConnectionPointContainer>(IID_IConnectionPointContainer);
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IPropertyNotifySink, &point),
              CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point, nullptr);
    ASSERT_EQ(container->FindConnectionPoint(DIID__DPalvexEvents, &point), S_OK);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, DIID__DPalvexEvents));

    // The enumeration gives the same point.
    IEnumConnectionPoints* points = nullptr;
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0], point);
    listed[0]->Release();
    points->Release();

    CCountedObject stranger;
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(&stranger, &cookie), CONNECT_E_CANNOTCONNECT);
    CCountedObject sinkA;
    CCountedObject sinkB;
    sinkA.m_answers = &DIID__DPalvexEvents;
    sinkB.m_answers = &IID_IDispatch;
    DWORD cookieA = 0;
    DWORD cookieB = 0;
    ASSERT_EQ(point->Advise(&sinkA, &cookieA), S_OK);
    ASSERT_EQ(point->Advise(&sinkB, &cookieB), S_OK);
    EXPECT_NE(cookieA, 0u);
    EXPECT_NE(cookieA, cookieB);

    IEnumConnections* connections = nullptr;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA data[3] = {};
    EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, cookieA);
    EXPECT_EQ(data[1].dwCookie, cookieB);
    data[0].pUnk->Release();
    data[1].pUnk->Release();
    EXPECT_GT(test::ModuleLocks(), 0);
    connections->Release();
    EXPECT_EQ(test::ModuleLocks(), 0);

    EXPECT_EQ(point->Unadvise(cookieA), S_OK);
    EXPECT_EQ(point->Unadvise(cookieA), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(cookieB), S_OK);
    EXPECT_EQ(sinkA.m_refs, 1u);
    EXPECT_EQ(sinkB.m_refs, 1u);
    point->Release();
    container->Release();
    EXPECT_EQ(control.m_refs, 1u);
}

} // namespace
} // namespace palvex::win32
