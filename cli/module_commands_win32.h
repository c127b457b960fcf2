// The module commands that read the control module rather than register it,
// on Windows (program_win32.cpp runs them): typelib, the text the module
// gives, and draw, the control's design-time picture through its view.
// Exit status as module_commands.h says.
#pragma once

#include "cli/module_commands.h"

#include <cstdio>

namespace palvex::cli {

int RunTypeLib(const ModuleCommand& command, std::FILE* out, std::FILE* err);
int RunDraw(const ModuleCommand& command, std::FILE* out, std::FILE* err);

} // namespace palvex::cli
