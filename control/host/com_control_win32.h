// The link control as the Windows programs host it (palvex.exe, dravel.exe):
// made by COM in a single-threaded apartment from the registered class, else
// from the Palvex.ocx beside the program through the module's own class
// factory, as COM would make it; called through the system's IDispatch.
// Also the module's file found the same two ways, and the program's words as
// typed, whatever the system's code page.
#pragma once

#include "control/automation/palvex_win32.h"

#include <memory>
#include <string>
#include <vector>

namespace palvex::host {

inline constexpr const char* kModuleFileName = "Palvex.ocx";
// Where a control's module came from, as the programs say it.
inline constexpr const char* kFromRegistration = "registered for the class";
inline constexpr const char* kFromBesideProgram = "installed beside the program";

// The file registered as the class's in-process server; "" when none is.
std::string RegisteredModule();
// Palvex.ocx in the running program's own folder.
std::string ModuleBesideProgram();

// The words of the command line as typed, as UTF-8, the program's name left
// out: the system gives them as UTF-16 whatever its code page.
std::vector<std::string> ProgramWords();

// An exported function of a loaded module, as the type it has.
template <class F> F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// One module file loaded without COM, unloaded when it goes if it says it
// may be (DllCanUnloadNow).
class CModuleFile {
  public:
    CModuleFile() = default;
    CModuleFile(const CModuleFile&) = delete;
    CModuleFile& operator=(const CModuleFile&) = delete;
    ~CModuleFile();
    // False with `why` ("cannot be loaded: ...") when it cannot be loaded.
    bool Load(const std::string& path, std::string& why);
    HMODULE Get() const { return m_module; }

  private:
    HMODULE m_module = nullptr;
};

// COM on this thread for as long as the object lives (counted by the
// system, so each control may hold its own).
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

// One control instance with what keeps it alive: COM on the thread and,
// when it came from the file beside the program, that module.
class CComControl {
  public:
    CComControl() = default;
    CComControl(const CComControl&) = delete;
    CComControl& operator=(const CComControl&) = delete;
    ~CComControl();

    IDispatch& Dispatch() const { return *m_dispatch; }
    // The module file (the class identifier when the registration names
    // none) and kFromRegistration or kFromBesideProgram.
    const std::string& ModulePath() const { return m_path; }
    const char* Source() const { return m_source; }

  private:
    friend std::unique_ptr<CComControl> CreateComControl(std::string& error);

    // Declared first: COM ends after the control and its module are gone.
    CApartment m_apartment;
    CModuleFile m_file;
    IDispatch* m_dispatch = nullptr;
    std::string m_path;
    const char* m_source = kFromRegistration;
};

// A new control: the registered class first, as any container makes it,
// then the module beside the program. Null when neither gives one, with
// `error` saying what each gave.
std::unique_ptr<CComControl> CreateComControl(std::string& error);

// Why the control's link last failed (IPalvexDiagnostics); "" when nothing
// failed or the control cannot say.
std::string LastLinkError(IDispatch& control);

} // namespace palvex::host
