#include "control/automation/control_object.h"

#include "control/automation/com_object.h"
#include "control/automation/dispatch_table.h"
#include "control/automation/drawing.h"
#include "control/automation/module_resources.h"
#include "control/automation/trace_forward.h"
#include "control/automation/type_library.h"
#include "control/link/palvex_ctrl.h"
#include "control/protocol/link_error.h"

#include <cstring>
#include <memory>
#include <string>

namespace palvex {

namespace {

constexpr ULONG kStampBytes = 4;

bool IsNullIid(REFIID riid) {
    return riid == nullptr || SameGuid(*riid, IID_NULL);
}

class CPalvexCtrlObject final : public com::CComObject {
  public:
    // Owns a new control.
    CPalvexCtrlObject() : m_owned(std::make_unique<CPalvexCtrl>()), m_ctrl(*m_owned) {}
    // Serves a control the caller owns.
    explicit CPalvexCtrlObject(CPalvexCtrl& ctrl) : m_ctrl(ctrl) {}
    // A control the caller owns outlives this object: it must not keep
    // calling the host's sink through it.
    ~CPalvexCtrlObject() override {
        if (m_pfnSink != nullptr) m_ctrl.SetTraceSink(nullptr, nullptr);
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        const IID& iid = *riid;
        if (SameGuid(iid, IID_IUnknown) || SameGuid(iid, IID_IDispatch) ||
            SameGuid(iid, DIID__DPalvex))
            return Hand(&m_dispatch.iface, ppv);
        if (SameGuid(iid, IID_IPersistStreamInit)) return Hand(&m_persist.iface, ppv);
        if (SameGuid(iid, IID_IPalvexControl)) return Hand(&m_control.iface, ppv);
        if (SameGuid(iid, IID_IPalvexDiagnostics)) return Hand(&m_diagnostics.iface, ppv);
        return E_NOINTERFACE;
    }

  private:
    using Self = CPalvexCtrlObject;
    static Self& From(auto* iface) { return *com::ObjectOf<Self>(iface); }

    // --- IDispatch -----------------------------------------------------------

    static HRESULT GetTypeInfoCount(IDispatch*, unsigned* count) {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }

    static HRESULT GetTypeInfo(IDispatch*, unsigned index, LCID, ITypeInfo** info) {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return CreateDispatchTypeInfo(info);
    }

    static HRESULT GetIDsOfNames(IDispatch*, REFIID riid, OLECHAR** names, unsigned count, LCID,
                                 DISPID* ids) {
        if (!IsNullIid(riid)) return DISP_E_UNKNOWNINTERFACE;
        return palvex::GetIDsOfNames(names, count, ids);
    }

    static HRESULT Invoke(IDispatch* This, DISPID id, REFIID riid, LCID, std::uint16_t flags,
                          DISPPARAMS* params, VARIANT* result, EXCEPINFO*, unsigned* argErr) {
        if (!IsNullIid(riid)) return DISP_E_UNKNOWNINTERFACE;
        return InvokeMethod(From(This).m_ctrl, id, flags, params, result, argErr);
    }

    static constexpr IDispatchVtbl kDispatch = {
        com::QueryInterfaceThunk<Self, IDispatch>,
        com::AddRefThunk<Self, IDispatch>,
        com::ReleaseThunk<Self, IDispatch>,
        GetTypeInfoCount,
        GetTypeInfo,
        GetIDsOfNames,
        Invoke,
    };

    // --- IPersistStreamInit ---------------------------------------------------
    // The control keeps nothing with the host's document but its version
    // stamp: its link and screen state are set up by calls, not restored.

    static HRESULT GetClassID(IPersistStreamInit*, CLSID* clsid) {
        if (clsid == nullptr) return E_POINTER;
        *clsid = CLSID_Palvex;
        return S_OK;
    }

    static HRESULT IsDirty(IPersistStreamInit*) { return S_FALSE; }

    // Any stamp is accepted: older ones convert to this version, which has
    // nothing to convert.
    static HRESULT Load(IPersistStreamInit*, ISequentialStream* stream) {
        if (stream == nullptr) return E_POINTER;
        std::uint8_t stamp[kStampBytes];
        ULONG read = 0;
        const HRESULT hr = stream->lpVtbl->Read(stream, stamp, kStampBytes, &read);
        if (FAILED(hr)) return hr;
        return read == kStampBytes ? S_OK : STG_E_READFAULT;
    }

    static HRESULT Save(IPersistStreamInit*, ISequentialStream* stream, BOOL) {
        if (stream == nullptr) return E_POINTER;
        const std::uint32_t v = PALVEX_PERSIST_VERSION;
        const std::uint8_t stamp[kStampBytes] = {
            static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
        ULONG written = 0;
        const HRESULT hr = stream->lpVtbl->Write(stream, stamp, kStampBytes, &written);
        if (FAILED(hr)) return hr;
        return written == kStampBytes ? S_OK : STG_E_WRITEFAULT;
    }

    static HRESULT GetSizeMax(IPersistStreamInit*, std::uint64_t* size) {
        if (size == nullptr) return E_POINTER;
        *size = kStampBytes;
        return S_OK;
    }

    // The reset of a new control: there are no persistent properties to
    // give their defaults.
    static HRESULT InitNew(IPersistStreamInit*) { return S_OK; }

    static constexpr IPersistStreamInitVtbl kPersist = {
        com::QueryInterfaceThunk<Self, IPersistStreamInit>,
        com::AddRefThunk<Self, IPersistStreamInit>,
        com::ReleaseThunk<Self, IPersistStreamInit>,
        GetClassID,
        IsDirty,
        Load,
        Save,
        GetSizeMax,
        InitNew,
    };

    // --- IPalvexControl ------------------------------------------------------

    static HRESULT Draw(IPalvexControl*, const PALVEX_CANVAS* canvas, const RECTL* bounds,
                        const RECTL* invalid) {
        if (canvas == nullptr || bounds == nullptr) return E_POINTER;
        return DrawDesignPicture(*canvas, *bounds, invalid);
    }

    // The flags belong to the content aspect; other aspects have none.
    static HRESULT GetMiscStatus(IPalvexControl*, DWORD aspect, DWORD* status) {
        if (status == nullptr) return E_POINTER;
        *status = aspect == PALVEX_DVASPECT_CONTENT ? PALVEX_MISC_STATUS : 0;
        return S_OK;
    }

    static HRESULT GetUserTypeName(IPalvexControl*, const char** name) {
        if (name == nullptr) return E_POINTER;
        *name = res::LoadString(res::IDS_PALVEX);
        return S_OK;
    }

    static HRESULT GetPropPageIDs(IPalvexControl*, CLSID* pages, ULONG capacity, ULONG* count) {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        if (capacity < 1) return E_NOT_SUFFICIENT_BUFFER;
        if (pages == nullptr) return E_POINTER;
        pages[0] = CLSID_PalvexPropPage;
        return S_OK;
    }

    static constexpr IPalvexControlVtbl kControl = {
        com::QueryInterfaceThunk<Self, IPalvexControl>,
        com::AddRefThunk<Self, IPalvexControl>,
        com::ReleaseThunk<Self, IPalvexControl>,
        Draw,
        GetMiscStatus,
        GetUserTypeName,
        GetPropPageIDs,
    };

    // --- IPalvexDiagnostics ---------------------------------------------------

    static void ForwardTrace(void* self, const TraceEvent& e) {
        const Self& object = *static_cast<const Self*>(self);
        ForwardTraceEvent(object.m_pfnSink, object.m_pSinkContext, e);
    }

    static HRESULT SetTraceSink(IPalvexDiagnostics* This, PALVEX_TRACE_SINK sink, void* context) {
        Self& self = From(This);
        self.m_pfnSink = sink;
        self.m_pSinkContext = context;
        if (sink != nullptr)
            self.m_ctrl.SetTraceSink(&Self::ForwardTrace, &self);
        else
            self.m_ctrl.SetTraceSink(nullptr, nullptr);
        return S_OK;
    }

    static HRESULT GetLastLinkError(IPalvexDiagnostics* This, char* text, ULONG capacity,
                                    ULONG* length) {
        if (length == nullptr) return E_POINTER;
        const std::string& last = From(This).m_ctrl.LastLinkErrorText();
        *length = static_cast<ULONG>(last.size());
        if (capacity < last.size() + 1) return E_NOT_SUFFICIENT_BUFFER;
        if (text == nullptr) return E_POINTER;
        std::memcpy(text, last.c_str(), last.size() + 1);
        return S_OK;
    }

    static constexpr IPalvexDiagnosticsVtbl kDiagnostics = {
        com::QueryInterfaceThunk<Self, IPalvexDiagnostics>,
        com::AddRefThunk<Self, IPalvexDiagnostics>,
        com::ReleaseThunk<Self, IPalvexDiagnostics>,
        SetTraceSink,
        GetLastLinkError,
    };

    std::unique_ptr<CPalvexCtrl> m_owned;
    CPalvexCtrl& m_ctrl;
    com::InterfaceOf<IDispatch, Self> m_dispatch{&kDispatch, this};
    com::InterfaceOf<IPersistStreamInit, Self> m_persist{&kPersist, this};
    com::InterfaceOf<IPalvexControl, Self> m_control{&kControl, this};
    com::InterfaceOf<IPalvexDiagnostics, Self> m_diagnostics{&kDiagnostics, this};
    PALVEX_TRACE_SINK m_pfnSink = nullptr;
    void* m_pSinkContext = nullptr;
};

} // namespace

HRESULT CreateControlObject(REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexCtrlObject>(riid, ppv);
}

HRESULT CreateControlObjectOver(CPalvexCtrl& ctrl, REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexCtrlObject>(riid, ppv, ctrl);
}

} // namespace palvex
