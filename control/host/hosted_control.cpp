#include "control/host/hosted_control.h"

namespace palvex::host {

namespace {

class CHostedControl final : public IHostedControl {
  public:
    CHostedControl(ComPtr<IDispatch> dispatch, std::function<void(BSTR)> freeString,
                   std::string modulePath, const char* source, std::shared_ptr<void> keepAlive)
        : m_keepAlive(std::move(keepAlive)), m_dispatch(std::move(dispatch)),
          m_freeString(std::move(freeString)), m_modulePath(std::move(modulePath)),
          m_source(source) {}

    HRESULT Invoke(DISPID id, DISPPARAMS& params, VARIANT& result, unsigned& argErr) override {
        return InvokeMethod(*m_dispatch.Get(), id, params, result, argErr);
    }
    HRESULT IdOfName(std::string_view name, DISPID& id) override {
        return palvex::IdOfName(*m_dispatch.Get(), name, id);
    }
    void FreeString(BSTR s) override {
        if (s != nullptr && m_freeString) m_freeString(s);
    }
    std::string LastLinkError() override { return host::LastLinkError(*m_dispatch.Get()); }
    const std::string& ModulePath() const override { return m_modulePath; }
    const char* ModuleSource() const override { return m_source; }
    IDispatch* Dispatch() override { return m_dispatch.Get(); }

  private:
    std::shared_ptr<void> m_keepAlive; // declared first: released last
    ComPtr<IDispatch> m_dispatch;
    std::function<void(BSTR)> m_freeString;
    std::string m_modulePath;
    const char* m_source;
};

} // namespace

std::unique_ptr<IHostedControl> HostDispatch(ComPtr<IDispatch> dispatch,
                                             std::function<void(BSTR)> freeString,
                                             std::string modulePath, const char* source,
                                             std::shared_ptr<void> keepAlive) {
    return std::make_unique<CHostedControl>(std::move(dispatch), std::move(freeString),
                                            std::move(modulePath), source, std::move(keepAlive));
}

HRESULT InvokeMethod(IDispatch& control, DISPID id, DISPPARAMS& params, VARIANT& result,
                     unsigned& argErr) {
    UINT err = 0;
    const HRESULT hr =
        control.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, &err);
    argErr = err;
    return hr;
}

std::string LastLinkError(IDispatch& control) {
    IPalvexDiagnostics* d = nullptr;
    if (FAILED(control.QueryInterface(IID_IPalvexDiagnostics, reinterpret_cast<void**>(&d))) ||
        d == nullptr)
        return {};
    const auto diagnostics = ComPtr<IPalvexDiagnostics>::Adopt(d);
    ULONG length = 0;
    HRESULT hr = d->GetLastLinkError(nullptr, 0, &length);
    if ((FAILED(hr) && hr != E_NOT_SUFFICIENT_BUFFER) || length == 0) return {};
    std::string text(std::size_t{length} + 1, '\0');
    hr = d->GetLastLinkError(text.data(), length + 1, &length);
    text.resize(SUCCEEDED(hr) ? length : 0);
    return text;
}

} // namespace palvex::host
