// The link control on Windows: made by COM from its class identifier in a
// single-threaded apartment (the registered Palvex.ocx), else from the
// Palvex.ocx beside dravel.exe through the module's own class factory
// (control/host), and called through the system's IDispatch. Strings it
// hands out are freed with SysFreeString (oleaut32 is the one allocator of
// the process).
#include "tool/control_site.h"

#include "control/host/com_control_win32.h"

#include <cstdio>
#include <string>

namespace dravel {

namespace {

class CComControl final : public IControlDispatch {
  public:
    explicit CComControl(std::unique_ptr<palvex::host::CComControl> control)
        : m_control(std::move(control)) {}
    HRESULT Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   unsigned* argErr) override {
        UINT err = 0;
        const HRESULT hr = m_control->Dispatch().Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags,
                                                        params, result, nullptr, &err);
        if (argErr != nullptr) *argErr = err;
        return hr;
    }
    void FreeString(BSTR s) override { SysFreeString(s); }
    std::string LastLinkError() override {
        return palvex::host::LastLinkError(m_control->Dispatch());
    }

  private:
    std::unique_ptr<palvex::host::CComControl> m_control;
};

// Which module the last control came from, for --verbose.
std::string& LastModuleDescription() {
    static std::string text = "no control module loaded";
    return text;
}

} // namespace

std::unique_ptr<IControlDispatch> CreateLinkControl() {
    std::string error;
    std::unique_ptr<palvex::host::CComControl> control = palvex::host::CreateComControl(error);
    if (control == nullptr) {
        // The dialogs still open; every call on their control then fails.
        std::fprintf(stderr, "dravel: %s\n", error.c_str());
        return nullptr;
    }
    LastModuleDescription() =
        "control module " + control->ModulePath() + " (" + control->Source() + ")";
    return std::make_unique<CComControl>(std::move(control));
}

std::string DescribeControlModule() {
    return LastModuleDescription();
}

} // namespace dravel
