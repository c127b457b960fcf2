// Running the module commands (module_commands.h) on Linux, with the module
// the host-side loader finds.
#pragma once

#include "cli/module_commands.h"
#include "control/host/palvex_loader.h"

#include <cstdio>

namespace palvex::cli {

// Runs it with the module the options find (register: never the registered
// one, which is what it replaces). Exit status: 0 done, 1 the module
// refused (registration), 2 the image could not be written, 3 no module.
int RunModuleCommand(const ModuleCommand& command, const LoaderOptions& options, std::FILE* out,
                     std::FILE* err);

// Says on `err` which module runs and where it was found.
void ReportModule(const CControlLoader& loader, std::FILE* err);

} // namespace palvex::cli
