// The control as Windows hosts create it: _DPalvex through IDispatch over
// the one dispatch table, the frame trace through IPalvexDiagnostics, and
// the interfaces a container needs (ole_control_win32.h).
#include "control/automation/dispatch_table.h"
#include "control/automation/module_win32.h"
#include "control/automation/ole_control_win32.h"
#include "control/automation/palvex_win32.h"
#include "control/automation/trace_forward.h"
#include "control/link/palvex_ctrl.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

namespace palvex::win32 {

namespace {

class CPalvexControl final : public IDispatch, public IPalvexDiagnostics {
  public:
    CPalvexControl() { ModuleLock(); }
    ~CPalvexControl() { ModuleUnlock(); }
    CPalvexControl(const CPalvexControl&) = delete;
    CPalvexControl& operator=(const CPalvexControl&) = delete;

    // --- IUnknown ------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID__DPalvex)
            *ppv = static_cast<IDispatch*>(this);
        else if (riid == IID_IPalvexDiagnostics)
            *ppv = static_cast<IPalvexDiagnostics*>(this);
        else
            return m_ole.QueryPart(riid, ppv); // the container's interfaces
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
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
        return ModuleTypeInfo(DIID__DPalvex, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return palvex::GetIDsOfNames(names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT* argErr) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return InvokeMethod(m_ctrl, id, flags, params, result, argErr);
    }

    // --- IPalvexDiagnostics ----------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetTraceSink(PALVEX_TRACE_SINK sink, void* context) override {
        m_sink = sink;
        m_sinkContext = context;
        if (sink != nullptr)
            m_ctrl.SetTraceSink(&CPalvexControl::ForwardTrace, this);
        else
            m_ctrl.SetTraceSink(nullptr, nullptr);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLastLinkError(char* text, ULONG capacity, ULONG* length) override {
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
        const auto& control = *static_cast<const CPalvexControl*>(self);
        ForwardTraceEvent(control.m_sink, control.m_sinkContext, e);
    }

    std::atomic<ULONG> m_refs{1};
    CPalvexCtrl m_ctrl;
    COleControlParts m_ole{static_cast<IDispatch*>(this)};
    PALVEX_TRACE_SINK m_sink = nullptr;
    void* m_sinkContext = nullptr;
};

} // namespace

HRESULT CreatePalvexControl(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* control = new (std::nothrow) CPalvexControl;
    if (control == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = control->QueryInterface(riid, ppv);
    control->Release();
    return hr;
}

} // namespace palvex::win32
