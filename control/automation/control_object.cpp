#include "control/automation/control_object.h"

#include "control/automation/com_object.h"
#include "control/automation/control_parts.h"
#include "control/automation/dispatch_table.h"
#include "control/automation/oleauto.h"
#include "control/automation/persistence.h"
#include "control/automation/trace_forward.h"
#include "control/link/palvex_ctrl.h"
#include "control/palvex_facts.h"

#include <cstring>
#include <memory>
#include <string>

namespace palvex {

namespace {

// _DPalvexDiagnostics: why the link last failed, for automation hosts (VB,
// VBA, .NET, scripts), which cannot call IPalvexDiagnostics. The control
// object's second dispatch interface, a part of it with its IUnknown.
class CDiagnosticsDispatch final : public IDispatch {
  public:
    CDiagnosticsDispatch(IUnknown& outer, const CPalvexCtrl& ctrl) : m_outer(outer), m_ctrl(ctrl) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return m_outer.QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_outer.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_outer.Release(); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return DispatchTypeInfo(DIID__DPalvexDiagnostics, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!SameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        return GetDiagnosticsIDsOfNames(names, count, ids);
    }
    // LastLinkError is read-only: a property get (or a method call, as
    // hosts that do not know which it is make); "" when nothing failed.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (!SameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        if (id != kDispidLastLinkError || (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0)
            return DISP_E_MEMBERNOTFOUND;
        if (params == nullptr) return E_POINTER;
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result == nullptr) return S_OK;
        BSTR text = BstrFromUtf8(m_ctrl.LastLinkErrorText().c_str());
        if (text == nullptr) return E_OUTOFMEMORY;
        VariantInit(result);
        result->vt = VT_BSTR;
        result->bstrVal = text;
        return S_OK;
    }

  private:
    IUnknown& m_outer;
    const CPalvexCtrl& m_ctrl;
};

class CPalvexCtrlObject final
    : public com::CComObject<CPalvexCtrlObject, IDispatch, IPersistStreamInit, IPalvexDiagnostics> {
  public:
    // Owns a new control.
    CPalvexCtrlObject() : m_owned(std::make_unique<CPalvexCtrl>()), m_ctrl(*m_owned) {}
    // Serves a control the caller owns.
    explicit CPalvexCtrlObject(CPalvexCtrl& ctrl) : m_ctrl(ctrl) {}
    // A control the caller owns outlives this object: it must not keep
    // calling the host's sink through it.
    ~CPalvexCtrlObject() {
        if (m_pfnSink != nullptr) m_ctrl.SetTraceSink(nullptr, nullptr);
    }

    void* Find(REFIID riid) {
        if (SameGuid(riid, IID_IUnknown) || SameGuid(riid, IID_IDispatch) ||
            SameGuid(riid, DIID__DPalvex))
            return static_cast<IDispatch*>(this);
        if (SameGuid(riid, IID_IPersistStreamInit)) return static_cast<IPersistStreamInit*>(this);
        if (SameGuid(riid, IID_IPalvexDiagnostics)) return static_cast<IPalvexDiagnostics*>(this);
        if (SameGuid(riid, DIID__DPalvexDiagnostics)) return static_cast<IDispatch*>(&m_diagnostics);
        return m_parts->Find(riid);
    }

    // --- IDispatch -----------------------------------------------------------

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return DispatchTypeInfo(DIID__DPalvex, info);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!SameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        return palvex::GetIDsOfNames(names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argErr) override {
        if (!SameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        return InvokeMethod(m_ctrl, id, flags, params, result, argErr, lcid);
    }

    // --- IPersistStreamInit ---------------------------------------------------

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        if (clsid == nullptr) return E_POINTER;
        *clsid = CLSID_Palvex;
        return S_OK;
    }

    // Nothing the control holds changes what it saves.
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }

    HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override {
        if (stream == nullptr) return E_POINTER;
        SControlExtent extent = m_extent;
        const HRESULT hr = ReadState(*stream, extent);
        if (SUCCEEDED(hr)) m_extent = extent;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL) override {
        if (stream == nullptr) return E_POINTER;
        return WriteState(*stream, m_extent);
    }

    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
        if (size == nullptr) return E_POINTER;
        size->QuadPart = kStateBytes;
        return S_OK;
    }

    // The reset of a new control: the default extent; there are no
    // persistent properties of its own to give their defaults.
    HRESULT STDMETHODCALLTYPE InitNew() override {
        m_extent = {};
        return S_OK;
    }

    // --- IPalvexDiagnostics ---------------------------------------------------

    HRESULT STDMETHODCALLTYPE SetTraceSink(PALVEX_TRACE_SINK sink, void* context) override {
        m_pfnSink = sink;
        m_pSinkContext = context;
        if (sink != nullptr)
            m_ctrl.SetTraceSink(&CPalvexCtrlObject::ForwardTrace, this);
        else
            m_ctrl.SetTraceSink(nullptr, nullptr);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetLastLinkError(char* text, ULONG capacity,
                                               ULONG* length) override {
        if (length == nullptr) return E_POINTER;
        const std::string& last = m_ctrl.LastLinkErrorText();
        *length = static_cast<ULONG>(last.size());
        if (capacity < last.size() + 1) return E_NOT_SUFFICIENT_BUFFER;
        if (text == nullptr) return E_POINTER;
        std::memcpy(text, last.c_str(), last.size() + 1);
        return S_OK;
    }

  private:
    static void ForwardTrace(void* self, const TraceEvent& e) {
        const auto& object = *static_cast<const CPalvexCtrlObject*>(self);
        ForwardTraceEvent(object.m_pfnSink, object.m_pSinkContext, e);
    }

    std::unique_ptr<CPalvexCtrl> m_owned;
    CPalvexCtrl& m_ctrl;
    SControlExtent m_extent;
    std::unique_ptr<IControlParts> m_parts =
        CreateControlParts(*static_cast<IDispatch*>(this), m_extent);
    CDiagnosticsDispatch m_diagnostics{*static_cast<IDispatch*>(this), m_ctrl};
    PALVEX_TRACE_SINK m_pfnSink = nullptr;
    void* m_pSinkContext = nullptr;
};

} // namespace

namespace {

void Put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::int32_t Get32(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | at[i];
    return static_cast<std::int32_t>(v);
}

} // namespace

HRESULT WriteState(ISequentialStream& stream, const SControlExtent& extent) {
    std::uint8_t state[kStateBytes];
    Put32(state, module::kPersistVersion);
    Put32(state + kStampBytes, static_cast<std::uint32_t>(extent.cx));
    Put32(state + kStampBytes + 4, static_cast<std::uint32_t>(extent.cy));
    ULONG written = 0;
    const HRESULT hr = stream.Write(state, kStateBytes, &written);
    if (FAILED(hr)) return hr;
    return written == kStateBytes ? S_OK : STG_E_WRITEFAULT;
}

HRESULT ReadState(ISequentialStream& stream, SControlExtent& extent) {
    std::uint8_t state[kStateBytes];
    ULONG read = 0;
    HRESULT hr = stream.Read(state, kStampBytes, &read);
    if (FAILED(hr)) return hr;
    if (read != kStampBytes) return STG_E_READFAULT;
    hr = stream.Read(state + kStampBytes, kStateBytes - kStampBytes, &read);
    if (FAILED(hr)) return hr;
    if (read == 0) return S_OK; // the stamp alone
    if (read != kStateBytes - kStampBytes) return STG_E_READFAULT;
    extent = {Get32(state + kStampBytes), Get32(state + kStampBytes + 4)};
    return S_OK;
}

HRESULT CreateControlObject(REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexCtrlObject>(riid, ppv);
}

HRESULT CreateControlObjectOver(CPalvexCtrl& ctrl, REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexCtrlObject>(riid, ppv, ctrl);
}

} // namespace palvex
