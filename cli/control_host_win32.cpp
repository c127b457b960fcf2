// palvex's host on Windows: the control made by COM in a single-threaded
// apartment (CoCreateInstance of the registered class), else by Palvex.ocx
// beside palvex.exe through its own class factory; the module commands
// through the module's registration entry points.
#include "cli/control_host.h"

#include "control/automation/hresult_text.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdlib>

namespace palvex::cli {
namespace {

constexpr const char* kModuleFile = "Palvex.ocx";
constexpr const char* kControlProgId = "PALVEX.PalvexCtrl.1";
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

std::wstring Wide(std::string_view text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Message(HRESULT hr) {
    return palvex::HresultMessage(static_cast<std::int32_t>(hr));
}

void Report(std::FILE* err, const std::string& text) {
    std::fprintf(err, "palvex: %s\n", text.c_str());
}

// The file registered as the class's in-process server; "" when none is.
std::string RegisteredModule() {
    const std::wstring key = L"CLSID\\" + Wide(PALVEX_CLSID_TEXT) + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = {};
    DWORD bytes = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &bytes) != ERROR_SUCCESS)
        return {};
    return Utf8(path);
}

// Palvex.ocx in palvex.exe's own folder.
std::string ModuleBesideProgram() {
    wchar_t exe[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    std::wstring path(exe, n);
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return Utf8(path) + kModuleFile;
}

// An exported function of a loaded module, as the type it has.
template <class F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string SystemMessage(DWORD code) {
    return Message(HRESULT_FROM_WIN32(code));
}

// One loaded module file, unloaded when it goes if it says it may be.
class CModuleFile {
  public:
    bool Load(const std::string& path, std::string& why) {
        m_module = LoadLibraryW(Wide(path).c_str());
        if (m_module == nullptr) why = "cannot be loaded: " + SystemMessage(GetLastError());
        return m_module != nullptr;
    }
    ~CModuleFile() {
        if (m_module == nullptr) return;
        const auto canUnload = Export<LPFNCANUNLOADNOW>(m_module, "DllCanUnloadNow");
        if (canUnload == nullptr || canUnload() == S_OK) FreeLibrary(m_module);
    }
    HMODULE Get() const { return m_module; }

  private:
    HMODULE m_module = nullptr;
};

// COM on this thread, for as long as the object lives.
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

void FreeBstr(BSTR s) {
    SysFreeString(s);
}

class CComControl : public IHostedControl {
  public:
    IDispatch& Dispatch() const override { return *m_dispatch; }
    StringFree FreeString() const override { return FreeBstr; }
    const std::string& ModulePath() const override { return m_path; }

    ~CComControl() override {
        if (m_dispatch != nullptr) m_dispatch->Release();
    }

    // Declared first: COM ends after the control and its module are gone.
    CApartment m_apartment;
    CModuleFile m_file; // the module loaded without COM, when it was
    IDispatch* m_dispatch = nullptr;
    std::string m_path;
};

// The control from the module file itself, as COM would make it.
HRESULT CreateFromFile(CComControl& control, const std::string& path, std::string& why) {
    if (!control.m_file.Load(path, why)) return E_FAIL;
    const auto getClassObject =
        Export<LPFNGETCLASSOBJECT>(control.m_file.Get(), "DllGetClassObject");
    if (getClassObject == nullptr) {
        why = "is not a control module: it has no DllGetClassObject";
        return E_FAIL;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr =
        getClassObject(CLSID_Palvex, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr) || factory == nullptr) {
        why = "no class factory: " + Message(FAILED(hr) ? hr : E_POINTER);
        return FAILED(hr) ? hr : E_POINTER;
    }
    hr = factory->CreateInstance(nullptr, IID_IDispatch,
                                 reinterpret_cast<void**>(&control.m_dispatch));
    factory->Release();
    if (FAILED(hr)) why = "the control could not be created: " + Message(hr);
    return hr;
}

} // namespace

std::vector<std::string> ProgramWords(int, char**) {
    // The words as typed, whatever the system's code page: UTF-16 from the
    // system, UTF-8 for palvex.
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; wide != nullptr && i < count; ++i)
        words.push_back(Utf8(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    return words;
}

void PrepareStandardStreams() {
    // Line ends as written: the output is the same bytes as on Linux.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void TraceControlToStderr() {
    // The process's environment, which the module's own C runtime reads
    // when it loads, and this program's copy.
    SetEnvironmentVariableW(L"PALVEX_TRACE", L"1");
    _putenv_s("PALVEX_TRACE", "1");
}

std::unique_ptr<IHostedControl> CreateHostedControl(bool verbose, std::FILE* err,
                                                    std::string& error) {
    auto control = std::make_unique<CComControl>();
    if (FAILED(control->m_apartment.Result())) {
        error = "COM could not be started: " + Message(control->m_apartment.Result());
        return nullptr;
    }
    // The registered class first, as any host makes it.
    const std::string registered = RegisteredModule();
    HRESULT hr = CoCreateInstance(CLSID_Palvex, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&control->m_dispatch));
    if (SUCCEEDED(hr) && control->m_dispatch != nullptr) {
        control->m_path = registered.empty() ? std::string(PALVEX_CLSID_TEXT) : registered;
        if (verbose)
            std::fprintf(err, "palvex: control module %s (%s)\n", control->m_path.c_str(),
                         kRegistered);
        return control;
    }
    std::string tried = "\n  " + (registered.empty() ? std::string("no module") : registered) +
                        " (" + kRegistered + "): " + Message(FAILED(hr) ? hr : E_POINTER);

    // Not registered (or the registration does not work): the module beside
    // palvex.exe, loaded here.
    const std::string beside = ModuleBesideProgram();
    std::string why;
    hr = CreateFromFile(*control, beside, why);
    if (SUCCEEDED(hr) && control->m_dispatch != nullptr) {
        control->m_path = beside;
        if (verbose)
            std::fprintf(err, "palvex: control module %s (%s)\n", beside.c_str(), kBesideProgram);
        return control;
    }
    error = std::string("no control module for ") + PALVEX_CLSID_TEXT + ", tried:" + tried +
            "\n  " + beside + " (" + kBesideProgram + "): " + why;
    return nullptr;
}

int RunModuleCommandHere(const ModuleCommand& command, std::FILE* out, std::FILE* err) {
    if (command.kind == ModuleCommand::TypeLib || command.kind == ModuleCommand::Draw) {
        Report(err, std::string(command.kind == ModuleCommand::TypeLib ? "typelib" : "draw") +
                        " is not available on Windows");
        return 2;
    }
    // register: the file given, else the one beside palvex (the registration
    // being made replaces whatever is registered); unregister: the module in
    // use.
    std::string path = command.modulePath;
    const char* source = nullptr;
    if (path.empty()) {
        const std::string registered = RegisteredModule();
        const bool useRegistered = command.kind == ModuleCommand::Unregister && !registered.empty();
        path = useRegistered ? registered : ModuleBesideProgram();
        source = useRegistered ? kRegistered : kBesideProgram;
    }
    CModuleFile file;
    std::string why;
    if (!file.Load(path, why)) {
        Report(err, path + " " + why);
        return 3;
    }
    if (command.verbose && source != nullptr)
        std::fprintf(err, "palvex: control module %s (%s)\n", path.c_str(), source);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const bool registering = command.kind == ModuleCommand::Register;
    const auto entry =
        Export<Entry>(file.Get(), registering ? "DllRegisterServer" : "DllUnregisterServer");
    if (entry == nullptr) {
        Report(err, path + " is not a control module: it lacks an entry point");
        return 3;
    }
    const HRESULT hr = entry();
    if (FAILED(hr)) {
        Report(err, registering ? "registering " + path + " failed: " + Message(hr)
                                : "unregistering failed: " + Message(hr));
        return 1;
    }
    if (registering)
        std::fprintf(out, "palvex: registered %s as %s %s\n", path.c_str(), kControlProgId,
                     PALVEX_CLSID_TEXT);
    else
        std::fprintf(out, "palvex: unregistered %s %s\n", kControlProgId, PALVEX_CLSID_TEXT);
    return 0;
}

} // namespace palvex::cli
