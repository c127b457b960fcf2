#include "tool/control_site.h"

#include "control/host/palvex_loader.h"

#include <cstdio>
#include <string>

namespace dravel {

namespace {

// One control made by the loaded module, reached through its dispatch
// interface.
class CModuleControl final : public IControlDispatch {
  public:
    explicit CModuleControl(std::unique_ptr<palvex::CControlInstance> control)
        : m_control(std::move(control)) {}
    HRESULT Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   unsigned* argErr) override {
        return m_control->Invoke(id, flags, params, result, argErr);
    }
    void FreeString(BSTR s) override { m_control->Module().FreeString(s); }
    std::string LastLinkError() override {
        const auto diagnostics = m_control->Query<IPalvexDiagnostics>(IID_IPalvexDiagnostics);
        if (!diagnostics) return {};
        IPalvexDiagnostics* d = diagnostics.Get();
        ULONG length = 0;
        HRESULT hr = d->lpVtbl->GetLastLinkError(d, nullptr, 0, &length);
        if (FAILED(hr) && hr != E_NOT_SUFFICIENT_BUFFER) return {};
        std::string text(std::size_t{length} + 1, '\0');
        hr = d->lpVtbl->GetLastLinkError(d, text.data(), length + 1, &length);
        text.resize(SUCCEEDED(hr) ? length : 0);
        return text;
    }

  private:
    std::unique_ptr<palvex::CControlInstance> m_control;
};

// A program of this build tree (the tool or its tests) may fall back on the
// module built beside it; an installed program never looks there.
palvex::LoaderOptions Options() {
#if defined(PALVEX_BUILD_DIR) && defined(PALVEX_BUILD_TREE_MODULE)
    return palvex::BuildTreeLoaderOptions(PALVEX_BUILD_DIR, PALVEX_BUILD_TREE_MODULE);
#else
    return {};
#endif
}

// One per process: the module is loaded when the first dialog asks for a
// control and stays while any control lives.
palvex::CControlLoader& Loader() {
    static palvex::CControlLoader loader(Options());
    return loader;
}

} // namespace

std::unique_ptr<IControlDispatch> CreateLinkControl() {
    std::string error;
    auto control = Loader().CreateControl(error);
    if (!control) {
        // The dialogs still open; every call on their control then fails.
        std::fprintf(stderr, "dravel: %s\n", error.c_str());
        return nullptr;
    }
    return std::make_unique<CModuleControl>(std::move(control));
}

std::string DescribeControlModule() {
    const auto& module = Loader().Module();
    if (!module) return "no control module loaded";
    return "control module " + module->Path() + " (" + palvex::ModuleSourceText(Loader().Source()) +
           ")";
}

} // namespace dravel
