// palvex on Linux: the words as given, the module commands with the module
// the host-side loader finds (module_commands_linux.cpp).
#include "cli/program.h"

#include "cli/module_commands_linux.h"
#include "control/host/palvex_loader.h"

#include <cstdlib>

namespace palvex::cli {

host::HostOptions ProgramHostOptions() {
    // A palvex run from its build tree also tries the module built beside
    // it, which is not installed anywhere yet.
#if defined(PALVEX_BUILD_DIR) && defined(PALVEX_BUILD_TREE_MODULE)
    return {PALVEX_BUILD_DIR, PALVEX_BUILD_TREE_MODULE};
#else
    return {};
#endif
}

std::vector<std::string> ProgramWords(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareStandardStreams() {}

void TraceControlToStderr() {
    setenv("PALVEX_TRACE", "1", 1);
}

int RunModuleCommandHere(const ModuleCommand& command, std::FILE* out, std::FILE* err) {
    const host::HostOptions options = ProgramHostOptions();
    LoaderOptions loader;
    if (!options.buildTreeModule.empty())
        loader = BuildTreeLoaderOptions(options.buildDir, options.buildTreeModule);
    return RunModuleCommand(command, loader, out, err);
}

} // namespace palvex::cli
