#include "control/host/com_control_win32.h"

#include "control/automation/hresult_text.h"
#include "platform/os/text_win32.h"

#include <shellapi.h>

namespace palvex::host {

namespace {

using os::Utf8Of;
using os::WideOf;

std::string Message(HRESULT hr) {
    return HresultMessage(static_cast<std::int32_t>(hr));
}

// The control from the module file itself, as COM would make it.
HRESULT CreateFromFile(CModuleFile& file, const std::string& path, IDispatch** dispatch,
                       std::string& why) {
    if (!file.Load(path, why)) return E_FAIL;
    const auto getClassObject = Export<LPFNGETCLASSOBJECT>(file.Get(), "DllGetClassObject");
    if (getClassObject == nullptr) {
        why = "is not a control module: it has no DllGetClassObject";
        return E_FAIL;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr =
        getClassObject(CLSID_Palvex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || factory == nullptr) {
        hr = FAILED(hr) ? hr : E_POINTER;
        why = "no class factory: " + Message(hr);
        return hr;
    }
    hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(dispatch));
    factory->Release();
    if (SUCCEEDED(hr) && *dispatch == nullptr) hr = E_POINTER;
    if (FAILED(hr)) why = "the control could not be created: " + Message(hr);
    return hr;
}

} // namespace

std::string RegisteredModule() {
    const std::wstring key = L"CLSID\\" + WideOf(PALVEX_CLSID_TEXT) + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = {};
    DWORD bytes = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &bytes) != ERROR_SUCCESS)
        return {};
    return Utf8Of(path);
}

std::string ModuleBesideProgram() {
    wchar_t exe[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    std::wstring path(exe, n);
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return Utf8Of(path) + kModuleFileName;
}

std::vector<std::string> ProgramWords() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; wide != nullptr && i < count; ++i)
        words.push_back(Utf8Of(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    return words;
}

CModuleFile::~CModuleFile() {
    if (m_module == nullptr) return;
    const auto canUnload = Export<LPFNCANUNLOADNOW>(m_module, "DllCanUnloadNow");
    if (canUnload == nullptr || canUnload() == S_OK) FreeLibrary(m_module);
}

bool CModuleFile::Load(const std::string& path, std::string& why) {
    m_module = LoadLibraryW(WideOf(path).c_str());
    if (m_module == nullptr)
        why = "cannot be loaded: " + Message(HRESULT_FROM_WIN32(GetLastError()));
    return m_module != nullptr;
}

CComControl::~CComControl() {
    if (m_dispatch != nullptr) m_dispatch->Release();
}

std::unique_ptr<CComControl> CreateComControl(std::string& error) {
    std::unique_ptr<CComControl> control(new CComControl);
    if (FAILED(control->m_apartment.Result())) {
        error = "COM could not be started: " + Message(control->m_apartment.Result());
        return nullptr;
    }
    const std::string registered = RegisteredModule();
    HRESULT hr = CoCreateInstance(CLSID_Palvex, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&control->m_dispatch));
    if (SUCCEEDED(hr) && control->m_dispatch != nullptr) {
        control->m_path = registered.empty() ? std::string(PALVEX_CLSID_TEXT) : registered;
        control->m_source = kFromRegistration;
        return control;
    }
    const std::string tried = "\n  " +
                              (registered.empty() ? std::string("no module") : registered) + " (" +
                              kFromRegistration + "): " + Message(FAILED(hr) ? hr : E_POINTER);
    control->m_dispatch = nullptr;

    // Not registered, or the registration does not work: the module beside
    // the program, loaded here.
    const std::string beside = ModuleBesideProgram();
    std::string why;
    if (SUCCEEDED(CreateFromFile(control->m_file, beside, &control->m_dispatch, why))) {
        control->m_path = beside;
        control->m_source = kFromBesideProgram;
        return control;
    }
    error = std::string("no control module for ") + PALVEX_CLSID_TEXT + ", tried:" + tried +
            "\n  " + beside + " (" + kFromBesideProgram + "): " + why;
    return nullptr;
}

std::string LastLinkError(IDispatch& control) {
    IPalvexDiagnostics* d = nullptr;
    if (FAILED(control.QueryInterface(IID_IPalvexDiagnostics, reinterpret_cast<void**>(&d))) ||
        d == nullptr)
        return {};
    std::string text;
    ULONG length = 0;
    HRESULT hr = d->GetLastLinkError(nullptr, 0, &length);
    if ((SUCCEEDED(hr) || hr == E_NOT_SUFFICIENT_BUFFER) && length > 0) {
        text.resize(std::size_t{length} + 1);
        hr = d->GetLastLinkError(text.data(), length + 1, &length);
        text.resize(SUCCEEDED(hr) ? length : 0);
    }
    d->Release();
    return text;
}

} // namespace palvex::host
