// The control in its container: identity (QueryPart), IOleObject, in-place
// activation and IOleControl.
#include "control/automation/ole_control_win32.h"

#include "control/automation/module_resources.h"
#include "control/automation/module_win32.h"
#include "control/automation/ole_text_win32.h"
#include "control/palvex_facts.h"

#include <olectl.h>

#include <utility>

namespace palvex::win32 {

namespace {

// Resizing recomposes the picture; nothing links inside the control; it is
// active in place as soon as it is shown; containers hide it at run time;
// it wants its client site before it is loaded or initialised.
static_assert(module::kMiscStatus ==
              (OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
               OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST));

template <class T> void ReleaseAndClear(T*& p) {
    if (p != nullptr) {
        T* old = p;
        p = nullptr;
        old->Release();
    }
}

// The class of the control's own window. Registered by the module for as
// long as a control window exists: a window class outlives the module that
// registered it, and its procedure must not.
constexpr wchar_t kWindowClass[] = L"PalvexControlWindow";
LONG g_windows = 0;

LRESULT CALLBACK ControlWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1; // the picture covers the whole window
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT client{};
        GetClientRect(hwnd, &client);
        DrawDesignPicture(dc, client);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_PRINTCLIENT: { // PrintWindow, and containers that take a picture
        RECT client{};
        GetClientRect(hwnd, &client);
        DrawDesignPicture(reinterpret_cast<HDC>(wparam), client);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

bool RegisterWindowClass() {
    if (g_windows++ > 0) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ControlWindowProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    if (RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
    --g_windows;
    return false;
}

void UnregisterWindowClass() {
    if (--g_windows == 0) UnregisterClassW(kWindowClass, ModuleInstance());
}

} // namespace

bool DrawDesignPicture(HDC dc, const RECT& r) {
    if (r.right <= r.left || r.bottom <= r.top) return true;
    return FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))) &&
           Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

COleControlParts::COleControlParts(IUnknown* outer, SControlExtent& extent)
    : m_outer(outer), m_extent(extent) {}

COleControlParts::~COleControlParts() {
    ReleaseInPlaceParts();
    ReleaseAndClear(m_viewSink);
    ReleaseAndClear(m_oleAdvise);
    ReleaseAndClear(m_clientSite);
}

namespace {

// The parts by the identifiers that name them.
template <class I> void* As(COleControlParts& parts) {
    return static_cast<I*>(&parts);
}
struct SPart {
    const IID* iid;
    void* (*of)(COleControlParts&);
};
const SPart kParts[] = {
    {&IID_IOleObject, As<IOleObject>},
    {&IID_IOleInPlaceObject, As<IOleInPlaceObject>},
    {&IID_IOleWindow, As<IOleInPlaceObject>},
    {&IID_IOleInPlaceActiveObject, As<IOleInPlaceActiveObject>},
    {&IID_IOleControl, As<IOleControl>},
    {&IID_IViewObject2, As<IViewObject2>},
    {&IID_IViewObject, As<IViewObject2>},
    {&IID_IPersistStorage, As<IPersistStorage>},
    {&IID_IPersistPropertyBag, As<IPersistPropertyBag>},
    {&IID_IProvideClassInfo2, As<IProvideClassInfo2>},
    {&IID_IProvideClassInfo, As<IProvideClassInfo2>},
    {&IID_IConnectionPointContainer, As<IConnectionPointContainer>},
    {&IID_ISpecifyPropertyPages, As<ISpecifyPropertyPages>},
};

} // namespace

void* COleControlParts::Find(REFIID riid) {
    for (const SPart& part : kParts)
        if (IsEqualIID(riid, *part.iid)) return part.of(*this);
    // IPersistStreamInit's table begins with IPersistStream's methods, in
    // the same order: containers that save through IPersistStream
    // (OleSaveToStream) reach the control object's stream.
    if (IsEqualIID(riid, IID_IPersistStream) || IsEqualIID(riid, IID_IPersist)) {
        IUnknown* stream = nullptr;
        if (FAILED(m_outer->QueryInterface(IID_IPersistStreamInit,
                                           reinterpret_cast<void**>(&stream))))
            return nullptr;
        stream->Release(); // the control object adds the reference it hands out
        return stream;
    }
    return nullptr;
}

// --- IUnknown ----------------------------------------------------------------

HRESULT COleControlParts::QueryInterface(REFIID riid, void** ppv) {
    return m_outer->QueryInterface(riid, ppv);
}
ULONG COleControlParts::AddRef() {
    return m_outer->AddRef();
}
ULONG COleControlParts::Release() {
    return m_outer->Release();
}

// --- IOleObject ----------------------------------------------------------------

HRESULT COleControlParts::SetClientSite(IOleClientSite* site) {
    if (site != nullptr) site->AddRef();
    ReleaseAndClear(m_clientSite);
    m_clientSite = site;
    return S_OK;
}

HRESULT COleControlParts::GetClientSite(IOleClientSite** site) {
    if (site == nullptr) return E_POINTER;
    *site = m_clientSite;
    if (m_clientSite != nullptr) m_clientSite->AddRef();
    return S_OK;
}

HRESULT COleControlParts::SetHostNames(LPCOLESTR, LPCOLESTR) {
    return S_OK;
}

// The control is never dirty, so there is nothing to save on closing.
HRESULT COleControlParts::Close(DWORD) {
    InPlaceDeactivate();
    if (m_oleAdvise != nullptr) m_oleAdvise->SendOnClose();
    return S_OK;
}

HRESULT COleControlParts::SetMoniker(DWORD, IMoniker*) {
    return E_NOTIMPL;
}

HRESULT COleControlParts::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT COleControlParts::InitFromData(IDataObject*, BOOL, DWORD) {
    return E_NOTIMPL;
}

HRESULT COleControlParts::GetClipboardData(DWORD, IDataObject** data) {
    if (data != nullptr) *data = nullptr;
    return E_NOTIMPL;
}

HRESULT COleControlParts::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                 LPCRECT pos) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_UIACTIVATE:
        return ActivateInPlace(site, pos, true);
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return ActivateInPlace(site, pos, false);
    case OLEIVERB_HIDE:
        return UIDeactivate();
    case OLEIVERB_PROPERTIES:
        return ShowProperties(parent);
    default:
        break;
    }
    if (verb <= 0) return E_NOTIMPL;
    // An unknown positive verb is taken as the primary one.
    const HRESULT hr = ActivateInPlace(site, pos, true);
    return FAILED(hr) ? hr : OLEOBJ_S_INVALIDVERB;
}



HRESULT COleControlParts::Update() {
    return S_OK;
}
HRESULT COleControlParts::IsUpToDate() {
    return S_OK;
}

HRESULT COleControlParts::GetUserClassID(CLSID* clsid) {
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_Palvex;
    return S_OK;
}

HRESULT COleControlParts::GetUserType(DWORD, LPOLESTR* type) {
    if (type == nullptr) return E_POINTER;
    return LoadTaskString(ModuleInstance(), res::IDS_PALVEX, type);
}

HRESULT COleControlParts::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (size == nullptr) return E_POINTER;
    if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
    m_extent = {size->cx, size->cy};
    return S_OK;
}

HRESULT COleControlParts::GetExtent(DWORD aspect, SIZEL* size) {
    if (size == nullptr) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = SIZEL{m_extent.cx, m_extent.cy};
    return S_OK;
}

HRESULT COleControlParts::Advise(IAdviseSink* sink, DWORD* connection) {
    if (connection == nullptr) return E_POINTER;
    *connection = 0;
    if (m_oleAdvise == nullptr) {
        const HRESULT hr = CreateOleAdviseHolder(&m_oleAdvise);
        if (FAILED(hr)) return hr;
    }
    return m_oleAdvise->Advise(sink, connection);
}

HRESULT COleControlParts::Unadvise(DWORD connection) {
    if (m_oleAdvise == nullptr) return OLE_E_NOCONNECTION;
    return m_oleAdvise->Unadvise(connection);
}

HRESULT COleControlParts::EnumAdvise(IEnumSTATDATA** advise) {
    if (advise == nullptr) return E_POINTER;
    *advise = nullptr;
    if (m_oleAdvise == nullptr) return S_OK;
    return m_oleAdvise->EnumAdvise(advise);
}

// The flags belong to the content aspect; other aspects have none.
HRESULT COleControlParts::GetMiscStatus(DWORD aspect, DWORD* status) {
    if (status == nullptr) return E_POINTER;
    *status = aspect == DVASPECT_CONTENT ? module::kMiscStatus : 0;
    return S_OK;
}

HRESULT COleControlParts::SetColorScheme(LOGPALETTE*) {
    return E_NOTIMPL;
}

// --- In place ----------------------------------------------------------------

HRESULT COleControlParts::ActivateInPlace(IOleClientSite* site, LPCRECT pos, bool uiActivate) {
    if (m_inPlaceSite == nullptr) {
        if (site == nullptr) site = m_clientSite;
        if (site == nullptr) return E_UNEXPECTED;
        IOleInPlaceSite* inPlace = nullptr;
        if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))))
            return OLEOBJ_S_CANNOT_DOVERB_NOW;
        if (inPlace->CanInPlaceActivate() != S_OK) {
            inPlace->Release();
            return OLEOBJ_S_CANNOT_DOVERB_NOW;
        }
        HRESULT hr = inPlace->OnInPlaceActivate();
        if (FAILED(hr)) {
            inPlace->Release();
            return hr;
        }
        m_inPlaceSite = inPlace;
        RECT sitePos{};
        RECT clip{};
        OLEINPLACEFRAMEINFO frameInfo{};
        frameInfo.cb = sizeof frameInfo;
        hr = inPlace->GetWindowContext(&m_frame, &m_document, &sitePos, &clip, &frameInfo);
        if (FAILED(hr)) {
            inPlace->OnInPlaceDeactivate();
            ReleaseInPlaceParts();
            return hr;
        }
        m_pos = sitePos;
    }
    if (pos != nullptr) m_pos = *pos;
    if (m_window == nullptr) {
        if (const HRESULT hr = CreateControlWindow(); FAILED(hr)) {
            InPlaceDeactivate();
            return hr;
        }
    }
    if (uiActivate && !m_uiActive) {
        const HRESULT hr = m_inPlaceSite->OnUIActivate();
        if (FAILED(hr)) return hr;
        m_uiActive = true;
        IOleInPlaceActiveObject* active = this;
        if (m_frame != nullptr) m_frame->SetActiveObject(active, nullptr);
        if (m_document != nullptr) m_document->SetActiveObject(active, nullptr);
    }
    return S_OK;
}

HRESULT COleControlParts::CreateControlWindow() {
    HWND parent = nullptr;
    if (FAILED(m_inPlaceSite->GetWindow(&parent)) || parent == nullptr) return E_UNEXPECTED;
    if (!RegisterWindowClass()) return HRESULT_FROM_WIN32(GetLastError());
    m_window = CreateWindowExW(0, kWindowClass, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, m_pos.left, m_pos.top,
                               m_pos.right - m_pos.left, m_pos.bottom - m_pos.top, parent,
                               nullptr, ModuleInstance(), nullptr);
    if (m_window != nullptr) return S_OK;
    const DWORD error = GetLastError();
    UnregisterWindowClass();
    return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_INVALID_WINDOW_HANDLE);
}

void COleControlParts::ReleaseInPlaceParts() {
    if (m_window != nullptr) {
        DestroyWindow(std::exchange(m_window, nullptr));
        UnregisterWindowClass();
    }
    m_uiActive = false;
    ReleaseAndClear(m_document);
    ReleaseAndClear(m_frame);
    ReleaseAndClear(m_inPlaceSite);
}

HRESULT COleControlParts::ShowProperties(HWND parent) {
    LPOLESTR caption = nullptr;
    if (FAILED(GetUserType(USERCLASSTYPE_SHORT, &caption))) caption = nullptr;
    IUnknown* objects[] = {m_outer};
    CLSID page = CLSID_PalvexPropPage;
    const HRESULT hr = OleCreatePropertyFrame(parent, 0, 0, caption, 1, objects, 1, &page,
                                              LOCALE_USER_DEFAULT, 0, nullptr);
    CoTaskMemFree(caption);
    return hr;
}

HRESULT COleControlParts::GetWindow(HWND* hwnd) {
    if (hwnd == nullptr) return E_POINTER;
    *hwnd = m_window;
    return m_window != nullptr ? S_OK : E_FAIL;
}

HRESULT COleControlParts::ContextSensitiveHelp(BOOL) {
    return E_NOTIMPL;
}

HRESULT COleControlParts::InPlaceDeactivate() {
    if (m_inPlaceSite == nullptr) return S_OK;
    UIDeactivate();
    IOleInPlaceSite* site = m_inPlaceSite;
    site->AddRef();
    ReleaseInPlaceParts();
    site->OnInPlaceDeactivate();
    site->Release();
    return S_OK;
}

HRESULT COleControlParts::UIDeactivate() {
    if (!m_uiActive) return S_OK;
    m_uiActive = false;
    if (m_frame != nullptr) m_frame->SetActiveObject(nullptr, nullptr);
    if (m_document != nullptr) m_document->SetActiveObject(nullptr, nullptr);
    if (m_inPlaceSite != nullptr) m_inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

HRESULT COleControlParts::SetObjectRects(LPCRECT pos, LPCRECT) {
    if (pos == nullptr) return E_POINTER;
    m_pos = *pos;
    if (m_window != nullptr)
        MoveWindow(m_window, m_pos.left, m_pos.top, m_pos.right - m_pos.left,
                   m_pos.bottom - m_pos.top, TRUE);
    return S_OK;
}

HRESULT COleControlParts::ReactivateAndUndo() {
    return E_NOTIMPL;
}
HRESULT COleControlParts::TranslateAccelerator(LPMSG) {
    return S_FALSE;
}
HRESULT COleControlParts::OnFrameWindowActivate(BOOL) {
    return S_OK;
}
HRESULT COleControlParts::OnDocWindowActivate(BOOL) {
    return S_OK;
}
HRESULT COleControlParts::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}
HRESULT COleControlParts::EnableModeless(BOOL) {
    return S_OK;
}

// --- IOleControl ---------------------------------------------------------------

// The control has no mnemonics.
HRESULT COleControlParts::GetControlInfo(CONTROLINFO* info) {
    if (info == nullptr) return E_POINTER;
    info->cb = sizeof *info;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

HRESULT COleControlParts::OnMnemonic(MSG*) {
    return E_NOTIMPL;
}
HRESULT COleControlParts::OnAmbientPropertyChange(DISPID) {
    return S_OK;
}
HRESULT COleControlParts::FreezeEvents(BOOL) {
    return S_OK;
}

} // namespace palvex::win32

namespace palvex {

std::unique_ptr<IControlParts> CreateControlParts(IUnknown& outer, SControlExtent& extent) {
    return std::make_unique<win32::COleControlParts>(&outer, extent);
}

} // namespace palvex
