// The link control on Windows: made by COM from its class identifier in a
// single-threaded apartment (the registered Palvex.ocx), else from the
// Palvex.ocx beside dravel.exe through the module's own class factory, and
// called through the system's IDispatch. Strings it hands out are freed with
// SysFreeString (oleaut32 is the one allocator of the process).
#include "tool/control_site.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace dravel {

namespace {

constexpr const char* kModuleFile = "Palvex.ocx";
constexpr const char* kRegistered = "registered for the class";
constexpr const char* kBesideProgram = "installed beside the program";

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                            nullptr, nullptr);
    return text;
}

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The file registered as the class's in-process server; "" when none is.
std::string RegisteredModule() {
    std::wstring key = L"CLSID\\";
    for (const char* c = PALVEX_CLSID_TEXT; *c != '\0'; ++c)
        key += static_cast<wchar_t>(*c);
    key += L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = {};
    DWORD bytes = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &bytes) != ERROR_SUCCESS)
        return {};
    return Utf8(path);
}

// Palvex.ocx in dravel.exe's own folder.
std::wstring ModuleBesideProgram() {
    wchar_t exe[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    std::wstring path(exe, n);
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    for (const char* c = kModuleFile; *c != '\0'; ++c)
        path += static_cast<wchar_t>(*c);
    return path;
}

template <class F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// COM on this thread for as long as the object lives (counted by the system,
// so each control may hold its own).
class CApartment {
  public:
    CApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    CApartment(const CApartment&) = delete;
    CApartment& operator=(const CApartment&) = delete;
    HRESULT Result() const { return m_hr; }

  private:
    HRESULT m_hr;
};

// The module loaded without COM, unloaded when it goes if it says it may be.
class CModuleFile {
  public:
    CModuleFile() = default;
    CModuleFile(const CModuleFile&) = delete;
    CModuleFile& operator=(const CModuleFile&) = delete;
    ~CModuleFile() {
        if (m_module == nullptr) return;
        const auto canUnload = Export<LPFNCANUNLOADNOW>(m_module, "DllCanUnloadNow");
        if (canUnload == nullptr || canUnload() == S_OK) FreeLibrary(m_module);
    }
    bool Load(const std::wstring& path) {
        m_module = LoadLibraryW(path.c_str());
        return m_module != nullptr;
    }
    HMODULE Get() const { return m_module; }

  private:
    HMODULE m_module = nullptr;
};

class CComControl final : public IControlDispatch {
  public:
    ~CComControl() override {
        if (m_dispatch != nullptr) m_dispatch->Release();
    }
    HRESULT Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   unsigned* argErr) override {
        UINT err = 0;
        const HRESULT hr = m_dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params,
                                              result, nullptr, &err);
        if (argErr != nullptr) *argErr = err;
        return hr;
    }
    void FreeString(BSTR s) override { SysFreeString(s); }
    std::string LastLinkError() override {
        IPalvexDiagnostics* d = nullptr;
        if (FAILED(
                m_dispatch->QueryInterface(IID_IPalvexDiagnostics, reinterpret_cast<void**>(&d))) ||
            d == nullptr)
            return {};
        ULONG length = 0;
        HRESULT hr = d->GetLastLinkError(nullptr, 0, &length);
        std::string text;
        if (SUCCEEDED(hr) || hr == E_NOT_SUFFICIENT_BUFFER) {
            text.assign(std::size_t{length} + 1, '\0');
            hr = d->GetLastLinkError(text.data(), length + 1, &length);
            text.resize(SUCCEEDED(hr) ? length : 0);
        }
        d->Release();
        return text;
    }

    // Declared first: COM ends after the control and its module are gone.
    CApartment m_apartment;
    CModuleFile m_file;
    IDispatch* m_dispatch = nullptr;
};

// Which module the last control came from, for --verbose.
std::string& LastModuleDescription() {
    static std::string text = "no control module loaded";
    return text;
}

// The control from the module file itself, as COM would make it.
HRESULT CreateFromFile(CComControl& control, const std::wstring& path) {
    if (!control.m_file.Load(path)) return HRESULT_FROM_WIN32(GetLastError());
    const auto getClassObject =
        Export<LPFNGETCLASSOBJECT>(control.m_file.Get(), "DllGetClassObject");
    if (getClassObject == nullptr) return E_NOINTERFACE;
    IClassFactory* factory = nullptr;
    HRESULT hr =
        getClassObject(CLSID_Palvex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || factory == nullptr) return FAILED(hr) ? hr : E_POINTER;
    hr = factory->CreateInstance(nullptr, IID_IDispatch,
                                 reinterpret_cast<void**>(&control.m_dispatch));
    factory->Release();
    return hr;
}

} // namespace

std::unique_ptr<IControlDispatch> CreateLinkControl() {
    auto control = std::make_unique<CComControl>();
    if (FAILED(control->m_apartment.Result())) {
        std::fprintf(stderr, "dravel: COM could not be started: %s\n",
                     HresultText(control->m_apartment.Result()).c_str());
        return nullptr;
    }
    // The registered class first, as any container makes it.
    HRESULT hr = CoCreateInstance(CLSID_Palvex, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&control->m_dispatch));
    if (SUCCEEDED(hr) && control->m_dispatch != nullptr) {
        const std::string registered = RegisteredModule();
        LastModuleDescription() =
            "control module " + (registered.empty() ? std::string(PALVEX_CLSID_TEXT) : registered) +
            " (" + kRegistered + ")";
        return control;
    }
    const HRESULT registeredHr = FAILED(hr) ? hr : E_POINTER;
    // Not registered, or the registration does not work: the module beside
    // dravel.exe, loaded here.
    const std::wstring beside = ModuleBesideProgram();
    hr = CreateFromFile(*control, beside);
    if (SUCCEEDED(hr) && control->m_dispatch != nullptr) {
        LastModuleDescription() = "control module " + Utf8(beside) + " (" + kBesideProgram + ")";
        return control;
    }
    // The dialogs still open; every call on their control then fails.
    std::fprintf(stderr,
                 "dravel: no control module for %s: the registered class gave %s, %s beside the "
                 "program gave %s\n",
                 PALVEX_CLSID_TEXT, HresultText(registeredHr).c_str(), kModuleFile,
                 HresultText(FAILED(hr) ? hr : E_POINTER).c_str());
    return nullptr;
}

std::string DescribeControlModule() {
    return LastModuleDescription();
}

} // namespace dravel
