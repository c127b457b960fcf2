// What palvex needs from the system it runs on: its words, its standard
// streams, and the control itself, made the system's way. palvex_main.cpp
// and everything it calls are the same on every system; each system's file
// (control_host_linux.cpp, control_host_win32.cpp, compiled into the program)
// defines these.
//
//   Linux:   the module found by class identifier through the per-user store,
//            beside the program or in the build tree (control/host), its
//            strings freed by its own PalvexSysFreeString.
//   Windows: CoCreateInstance of the registered class in a single-threaded
//            apartment, else Palvex.ocx beside palvex.exe through its
//            DllGetClassObject; strings freed with SysFreeString.
#pragma once

#include "cli/method_table.h"
#include "cli/module_commands.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace palvex::cli {

// One control made for this run, with whatever keeps its module loaded.
class IHostedControl {
  public:
    virtual ~IHostedControl() = default;
    virtual IDispatch& Dispatch() const = 0;
    // Frees the strings the control hands out.
    virtual StringFree FreeString() const = 0;
    // The module's file, for messages.
    virtual const std::string& ModulePath() const = 0;
};

// The program's arguments without its name, as UTF-8 words.
std::vector<std::string> ProgramWords(int argc, char** argv);

// Standard output and error pass bytes as they are written.
void PrepareStandardStreams();

// Makes the control print every frame on standard error (PALVEX_TRACE=1);
// before the control is made, which reads it then.
void TraceControlToStderr();

// Makes the control. With `verbose`, says on `err` which module runs and
// where it was found. nullptr with a message in `error` when there is none.
std::unique_ptr<IHostedControl> CreateHostedControl(bool verbose, std::FILE* err,
                                                    std::string& error);

// Runs a module command. Exit status as module_commands.h says.
int RunModuleCommandHere(const ModuleCommand& command, std::FILE* out, std::FILE* err);

} // namespace palvex::cli
