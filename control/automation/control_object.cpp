#include "control/automation/control_object.h"

#include "control/automation/com_object.h"
#include "control/automation/control_parts.h"
#include "control/automation/dispatch_table.h"
#include "control/automation/persistence.h"
#include "control/automation/trace_forward.h"
#include "control/link/palvex_ctrl.h"
#include "control/palvex_facts.h"

#include <cstring>
#include <memory>
#include <string>

namespace palvex {

namespace {

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
        return DispatchTypeInfo(info);
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!SameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        return palvex::GetIDsOfNames(names, count, ids);
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argErr) override {
        if (!SameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        return InvokeMethod(m_ctrl, id, flags, params, result, argErr);
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
        return ReadStamp(*stream);
    }

    HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL) override {
        if (stream == nullptr) return E_POINTER;
        return WriteStamp(*stream);
    }

    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
        if (size == nullptr) return E_POINTER;
        size->QuadPart = kStampBytes;
        return S_OK;
    }

    // The reset of a new control: there are no persistent properties to
    // give their defaults.
    HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

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
    std::unique_ptr<IControlParts> m_parts = CreateControlParts(*static_cast<IDispatch*>(this));
    PALVEX_TRACE_SINK m_pfnSink = nullptr;
    void* m_pSinkContext = nullptr;
};

} // namespace

HRESULT WriteStamp(ISequentialStream& stream) {
    const std::uint32_t v = module::kPersistVersion;
    const std::uint8_t stamp[kStampBytes] = {
        static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
        static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    ULONG written = 0;
    const HRESULT hr = stream.Write(stamp, kStampBytes, &written);
    if (FAILED(hr)) return hr;
    return written == kStampBytes ? S_OK : STG_E_WRITEFAULT;
}

HRESULT ReadStamp(ISequentialStream& stream) {
    std::uint8_t stamp[kStampBytes];
    ULONG read = 0;
    const HRESULT hr = stream.Read(stamp, kStampBytes, &read);
    if (FAILED(hr)) return hr;
    return read == kStampBytes ? S_OK : STG_E_READFAULT;
}

HRESULT CreateControlObject(REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexCtrlObject>(riid, ppv);
}

HRESULT CreateControlObjectOver(CPalvexCtrl& ctrl, REFIID riid, void** ppv) {
    return com::CreateAndQuery<CPalvexCtrlObject>(riid, ppv, ctrl);
}

} // namespace palvex
