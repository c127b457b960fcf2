// palvex.exe: the words as typed (UTF-16 from the system), standard output
// in binary mode, and the module commands: register and unregister through
// the module's registration entry points, typelib and draw as
// module_commands_win32.cpp runs them.
#include "cli/program.h"

#include "cli/module_commands_win32.h"

#include "control/automation/hresult_text.h"
#include "control/automation/module_facts.h"
#include "control/host/com_control_win32.h"

#include <fcntl.h>
#include <io.h>

#include <cstdlib>

namespace palvex::cli {
namespace {

using host::kFromBesideProgram;
using host::kFromRegistration;

std::string Message(HRESULT hr) {
    return palvex::HresultMessage(static_cast<std::int32_t>(hr));
}

void Report(std::FILE* err, const std::string& text) {
    std::fprintf(err, "palvex: %s\n", text.c_str());
}

} // namespace

host::HostOptions ProgramHostOptions() {
    return {};
}

std::vector<std::string> ProgramWords(int, char**) {
    return host::ProgramWords();
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

int RunModuleCommandHere(const ModuleCommand& command, std::FILE* out, std::FILE* err) {
    if (command.kind == ModuleCommand::TypeLib) return RunTypeLib(command, out, err);
    if (command.kind == ModuleCommand::Draw) return RunDraw(command, out, err);
    // register: the file given, else the one beside palvex (the registration
    // being made replaces whatever is registered); unregister: the module in
    // use.
    std::string path = command.modulePath;
    const char* source = nullptr;
    if (path.empty()) {
        const std::string registered = host::RegisteredModule();
        const bool useRegistered = command.kind == ModuleCommand::Unregister && !registered.empty();
        path = useRegistered ? registered : host::ModuleBesideProgram();
        source = useRegistered ? kFromRegistration : kFromBesideProgram;
    }
    host::CModuleFile file;
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
        host::Export<Entry>(file.Get(), registering ? "DllRegisterServer" : "DllUnregisterServer");
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
        std::fprintf(out, "palvex: registered %s as %s %s\n", path.c_str(), PALVEX_CONTROL_PROGID,
                     PALVEX_CLSID_TEXT);
    else
        std::fprintf(out, "palvex: unregistered %s %s\n", PALVEX_CONTROL_PROGID, PALVEX_CLSID_TEXT);
    return 0;
}

} // namespace palvex::cli
