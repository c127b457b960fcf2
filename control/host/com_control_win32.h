// What the Windows programs need to host the link control (palvex.exe,
// dravel.exe) besides the hosted control itself (hosted_control.h): COM on
// the thread, a module file loaded without COM, the module's file found the
// two ways Windows finds it, and the program's words as typed, whatever the
// system's code page.
#pragma once

#include "control/automation/automation_types_win32.h"
#include "control/automation/hresult_text.h"

#include <cstdint>
#include <string>
#include <vector>

namespace palvex::host {

// The message of a COM result, for the programs' error texts.
inline std::string HresultText(HRESULT hr) {
    return HresultMessage(static_cast<std::int32_t>(hr));
}

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

} // namespace palvex::host
