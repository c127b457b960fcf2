// What palvex needs from the system it runs on: its words, its standard
// streams, the control's trace, where a program of the build tree finds the
// module built with it, and the module commands. palvex_main.cpp and
// everything it calls are the same on every system; each system's file
// (program_linux.cpp, program_win32.cpp, compiled into the program) defines
// these. The control itself is made through control/host (hosted_control.h).
#pragma once

#include "cli/module_commands.h"
#include "control/host/hosted_control.h"

#include <cstdio>
#include <string>
#include <vector>

namespace palvex::cli {

// The program's arguments without its name, as UTF-8 words.
std::vector<std::string> ProgramWords(int argc, char** argv);

// Standard output and error pass bytes as they are written.
void PrepareStandardStreams();

// Makes the control print every frame on standard error (PALVEX_TRACE=1);
// before the control is made, which reads it then.
void TraceControlToStderr();

// Where palvex looks for the module beyond the system's own places.
host::HostOptions ProgramHostOptions();

// Runs a module command. Exit status as module_commands.h says.
int RunModuleCommandHere(const ModuleCommand& command, std::FILE* out, std::FILE* err);

} // namespace palvex::cli
