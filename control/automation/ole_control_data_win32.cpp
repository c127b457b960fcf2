// The control's picture, what it saves with the container's document, its
// class information, its connection point and its property page list.
#include "control/automation/com_object.h"
#include "control/automation/module_win32.h"
#include "control/automation/ole_control_win32.h"
#include "control/automation/persistence.h"
#include "control/palvex_facts.h"

#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>
#include <vector>

namespace palvex::win32 {

namespace {

// The storage's stream that holds the control's state (persistence.h), and
// the bag's properties: the version stamp and the extent.
constexpr wchar_t kStorageStream[] = L"Contents";
constexpr wchar_t kVersionProperty[] = L"_Version";
constexpr wchar_t kExtentXProperty[] = L"_ExtentX";
constexpr wchar_t kExtentYProperty[] = L"_ExtentY";

// A 32-bit property of a bag; false when the bag has none.
bool ReadLong(IPropertyBag& bag, const wchar_t* name, IErrorLog* log, LONG& value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    const bool read = SUCCEEDED(bag.Read(name, &v, log)) &&
                      SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4));
    if (read) value = V_I4(&v);
    VariantClear(&v);
    return read;
}

HRESULT WriteLong(IPropertyBag& bag, const wchar_t* name, LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return bag.Write(name, &v);
}

void Hold(CONNECTDATA& item) {
    item.pUnk->AddRef();
}
void Drop(CONNECTDATA& item) {
    item.pUnk->Release();
}
void Hold(IConnectionPoint* item) {
    item->AddRef();
}
void Drop(IConnectionPoint* item) {
    item->Release();
}
// A verb's name is the holder's own copy, in task memory: the caller of Next
// frees it.
void Hold(OLEVERB& verb) {
    const std::size_t bytes = (wcslen(verb.lpszVerbName) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) std::memcpy(copy, verb.lpszVerbName, bytes);
    verb.lpszVerbName = copy;
}
void Drop(OLEVERB& verb) {
    CoTaskMemFree(verb.lpszVerbName);
}

// An enumerator over a snapshot of references, each held while the
// enumerator lives, and given to the caller with a reference of its own.
template <class IEnum, class Item> class CEnumerator final : public IEnum {
  public:
    // One reference for the caller in *out, or E_OUTOFMEMORY.
    static HRESULT Create(const std::vector<Item>& items, std::size_t pos, IEnum** out) {
        *out = nullptr;
        try {
            *out = new CEnumerator(items, pos);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, __uuidof(IEnum)))
            return E_NOINTERFACE;
        AddRef();
        *ppv = static_cast<IEnum*>(this);
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
        if (out == nullptr || (count != 1 && fetched == nullptr)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && m_pos < m_items.size(); ++n, ++m_pos) {
            out[n] = m_items[m_pos];
            Hold(out[n]);
        }
        if (fetched != nullptr) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t skipped = std::min<std::size_t>(count, m_items.size() - m_pos);
        m_pos += skipped;
        return skipped == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_pos = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnum** copy) override {
        if (copy == nullptr) return E_POINTER;
        return Create(m_items, m_pos, copy);
    }

  private:
    CEnumerator(const std::vector<Item>& items, std::size_t pos) : m_items(items), m_pos(pos) {
        for (Item& item : m_items)
            Hold(item);
        com::ModuleLock();
    }
    ~CEnumerator() {
        for (Item& item : m_items)
            Drop(item);
        com::ModuleUnlock();
    }

    LONG m_refs = 1;
    std::vector<Item> m_items;
    std::size_t m_pos;
};

} // namespace

// --- IViewObject2 ----------------------------------------------------------------

// The design-time picture: the bounds filled white, and an ellipse inscribed
// in them drawn with the device context's own pen and brush. Without bounds
// (a windowless container drawing in place) the in-place position serves.
HRESULT COleControlParts::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                               ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (dc == nullptr) return E_INVALIDARG;
    RECT r{};
    if (bounds != nullptr)
        r = RECT{bounds->left, bounds->top, bounds->right, bounds->bottom};
    else if (m_inPlaceSite != nullptr)
        r = m_pos;
    else
        return E_INVALIDARG;
    return DrawDesignPicture(dc, r) ? S_OK : E_FAIL;
}

HRESULT COleControlParts::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                      LOGPALETTE** colours) {
    if (colours == nullptr) return E_POINTER;
    *colours = nullptr;
    return S_FALSE;
}

HRESULT COleControlParts::Freeze(DWORD, LONG, void*, DWORD* freeze) {
    if (freeze != nullptr) *freeze = 0;
    return E_NOTIMPL;
}

HRESULT COleControlParts::Unfreeze(DWORD) {
    return E_NOTIMPL;
}

HRESULT COleControlParts::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    if (sink != nullptr) sink->AddRef();
    if (m_viewSink != nullptr) m_viewSink->Release();
    m_viewSink = sink;
    m_viewAspects = aspects;
    m_viewFlags = flags;
    if (sink != nullptr && (flags & ADVF_PRIMEFIRST) != 0) sink->OnViewChange(DVASPECT_CONTENT, -1);
    return S_OK;
}

HRESULT COleControlParts::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects != nullptr) *aspects = m_viewAspects;
    if (flags != nullptr) *flags = m_viewFlags;
    if (sink != nullptr) {
        *sink = m_viewSink;
        if (m_viewSink != nullptr) m_viewSink->AddRef();
    }
    return S_OK;
}

HRESULT COleControlParts::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

// --- Persistence -------------------------------------------------------------------

HRESULT COleControlParts::GetClassID(CLSID* clsid) {
    if (clsid == nullptr) return E_POINTER;
    *clsid = CLSID_Palvex;
    return S_OK;
}

// Nothing the control holds changes what it saves.
HRESULT COleControlParts::IsDirty() {
    return S_FALSE;
}

// A new control: there are no persistent properties to give defaults.
HRESULT COleControlParts::InitNew() {
    m_extent = {};
    return S_OK;
}

HRESULT COleControlParts::InitNew(IStorage* storage) {
    if (storage == nullptr) return E_POINTER;
    m_extent = {};
    return S_OK;
}

HRESULT COleControlParts::Load(IStorage* storage) {
    if (storage == nullptr) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr =
        storage->OpenStream(kStorageStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
    if (FAILED(hr)) return hr;
    SControlExtent extent = m_extent;
    hr = ReadState(*stream, extent);
    if (SUCCEEDED(hr)) m_extent = extent;
    stream->Release();
    return hr;
}

HRESULT COleControlParts::Save(IStorage* storage, BOOL) {
    if (storage == nullptr) return E_POINTER;
    IStream* stream = nullptr;
    HRESULT hr = storage->CreateStream(
        kStorageStream, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream);
    if (FAILED(hr)) return hr;
    hr = WriteState(*stream, m_extent);
    stream->Release();
    return hr;
}

HRESULT COleControlParts::SaveCompleted(IStorage*) {
    return S_OK;
}
HRESULT COleControlParts::HandsOffStorage() {
    return S_OK;
}

// A bag without the stamp or the extent (an older or hand-written page)
// loads as well: what it lacks keeps its value.
HRESULT COleControlParts::Load(IPropertyBag* bag, IErrorLog* log) {
    if (bag == nullptr) return E_POINTER;
    LONG version = 0;
    ReadLong(*bag, kVersionProperty, log, version);
    LONG cx = m_extent.cx;
    LONG cy = m_extent.cy;
    if (ReadLong(*bag, kExtentXProperty, log, cx) && ReadLong(*bag, kExtentYProperty, log, cy) &&
        cx >= 0 && cy >= 0)
        m_extent = {cx, cy};
    return S_OK;
}

HRESULT COleControlParts::Save(IPropertyBag* bag, BOOL, BOOL) {
    if (bag == nullptr) return E_POINTER;
    HRESULT hr = WriteLong(*bag, kVersionProperty, static_cast<LONG>(module::kPersistVersion));
    if (SUCCEEDED(hr)) hr = WriteLong(*bag, kExtentXProperty, m_extent.cx);
    if (SUCCEEDED(hr)) hr = WriteLong(*bag, kExtentYProperty, m_extent.cy);
    return hr;
}

// --- IProvideClassInfo2 --------------------------------------------------------------

HRESULT COleControlParts::GetClassInfo(ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    return ModuleTypeInfo(CLSID_Palvex, info);
}

HRESULT COleControlParts::GetGUID(DWORD kind, GUID* guid) {
    if (guid == nullptr) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = DIID__DPalvexEvents;
    return S_OK;
}

// --- IOleObject::EnumVerbs -----------------------------------------------------------

// The control's verbs, from the control itself: Properties, which shows the
// property page (DoVerb).
HRESULT COleControlParts::EnumVerbs(IEnumOLEVERB** verbs) {
    if (verbs == nullptr) return E_POINTER;
    *verbs = nullptr;
    static wchar_t kProperties[] = L"&Properties...";
    try {
        const std::vector<OLEVERB> all{
            {OLEIVERB_PROPERTIES, kProperties, MF_STRING | MF_ENABLED, OLEVERBATTRIB_ONCONTAINERMENU}};
        return CEnumerator<IEnumOLEVERB, OLEVERB>::Create(all, 0, verbs);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

// --- IConnectionPointContainer ---------------------------------------------------------

HRESULT COleControlParts::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points == nullptr) return E_POINTER;
    try {
        const std::vector<IConnectionPoint*> all{&m_events};
        return CEnumerator<IEnumConnectionPoints, IConnectionPoint*>::Create(all, 0, points);
    } catch (const std::bad_alloc&) {
        *points = nullptr;
        return E_OUTOFMEMORY;
    }
}

HRESULT COleControlParts::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(riid, DIID__DPalvexEvents)) return CONNECT_E_NOCONNECTION;
    m_events.AddRef();
    *point = &m_events;
    return S_OK;
}

CEventConnectionPoint::~CEventConnectionPoint() {
    std::vector<CONNECTDATA> sinks = std::move(m_sinks);
    for (CONNECTDATA& sink : sinks)
        sink.pUnk->Release();
}

HRESULT CEventConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
        return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IConnectionPoint*>(this);
    return S_OK;
}

ULONG CEventConnectionPoint::AddRef() {
    return m_owner.Outer()->AddRef();
}
ULONG CEventConnectionPoint::Release() {
    return m_owner.Outer()->Release();
}

HRESULT CEventConnectionPoint::GetConnectionInterface(IID* iid) {
    if (iid == nullptr) return E_POINTER;
    *iid = DIID__DPalvexEvents;
    return S_OK;
}

HRESULT CEventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** cpc) {
    if (cpc == nullptr) return E_POINTER;
    m_owner.AddRef();
    *cpc = &m_owner;
    return S_OK;
}

// The sink must speak the event interface, as itself or as a plain
// IDispatch (the event interface is a dispatch interface).
HRESULT CEventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (cookie == nullptr) return E_POINTER;
    *cookie = 0;
    if (sink == nullptr) return E_POINTER;
    IUnknown* held = nullptr;
    if (FAILED(sink->QueryInterface(DIID__DPalvexEvents, reinterpret_cast<void**>(&held))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&held))))
        return CONNECT_E_CANNOTCONNECT;
    DWORD next = m_lastCookie + 1;
    if (next == 0) next = 1;
    try {
        m_sinks.push_back(CONNECTDATA{held, next});
    } catch (const std::bad_alloc&) {
        held->Release();
        return E_OUTOFMEMORY;
    }
    m_lastCookie = next;
    *cookie = next;
    return S_OK;
}

HRESULT CEventConnectionPoint::Unadvise(DWORD cookie) {
    const auto it = std::find_if(m_sinks.begin(), m_sinks.end(),
                                 [cookie](const CONNECTDATA& c) { return c.dwCookie == cookie; });
    if (it == m_sinks.end()) return CONNECT_E_NOCONNECTION;
    IUnknown* sink = it->pUnk;
    m_sinks.erase(it);
    sink->Release();
    return S_OK;
}

HRESULT CEventConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections == nullptr) return E_POINTER;
    return CEnumerator<IEnumConnections, CONNECTDATA>::Create(m_sinks, 0, connections);
}

// --- ISpecifyPropertyPages ---------------------------------------------------------------

HRESULT COleControlParts::GetPages(CAUUID* pages) {
    if (pages == nullptr) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (pages->pElems == nullptr) return E_OUTOFMEMORY;
    pages->pElems[0] = CLSID_PalvexPropPage;
    pages->cElems = 1;
    return S_OK;
}

} // namespace palvex::win32
