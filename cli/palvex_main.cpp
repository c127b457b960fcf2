// palvex: calls methods of the link control from the command line, through
// the control module loaded by class identifier. See cli/cli_args.h for the
// command line and `palvex --help` for the methods.
#include "cli/cli_args.h"
#include "cli/cli_run.h"
#include "cli/job_args.h"
#include "cli/job_commands.h"
#include "cli/method_table.h"
#include "cli/module_commands.h"
#include "cli/ports_command.h"
#include "control/host/palvex_loader.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Where palvex looks for the module. A palvex run from its build tree also
// tries the module built beside it, which is not installed anywhere yet.
palvex::LoaderOptions ProgramLoaderOptions() {
#if defined(PALVEX_BUILD_DIR) && defined(PALVEX_BUILD_TREE_MODULE)
    return palvex::BuildTreeLoaderOptions(PALVEX_BUILD_DIR, PALVEX_BUILD_TREE_MODULE);
#else
    return {};
#endif
}

// The methods of the loaded control, from its type information. Strings the
// module hands out are freed by the module's own function.
bool ReadModuleMethods(const palvex::CControlInstance& control, palvex::cli::MethodTable& methods,
                       std::string& error) {
    const auto freeString =
        reinterpret_cast<palvex::cli::StringFree>(control.Module().Symbol("PalvexSysFreeString"));
    if (!palvex::cli::ReadMethodTable(*control.Dispatch(), freeString, methods, error)) {
        error = control.Module().Path() + ": " + error;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace palvex::cli;
    try {
        const std::vector<std::string_view> words(argv + 1, argv + argc);
        if (words.empty()) {
            std::fputs(UsageText().c_str(), stderr);
            return 2;
        }
        std::string error;
        PortsCommand ports;
        if (!ParsePortsCommand(words, ports, error)) {
            std::fprintf(stderr, "palvex: %s\n%s", error.c_str(), UsageText().c_str());
            return 2;
        }
        if (ports.kind != PortsCommand::None) return RunPortsCommand(ports, stdout, stderr);
        ModuleCommand command;
        if (!ParseModuleCommand(words, command, error)) {
            std::fprintf(stderr, "palvex: %s\n%s", error.c_str(), UsageText().c_str());
            return 2;
        }
        if (command.kind != ModuleCommand::None)
            return RunModuleCommand(command, ProgramLoaderOptions(), stdout, stderr);

        JobCommand job;
        if (!ParseJobCommand(words, job, error)) {
            std::fprintf(stderr, "palvex: %s\n%s", error.c_str(), UsageText().c_str());
            return 2;
        }
        if (job.verb == JobCommand::Preview) return RunPreview(job, stdout, stderr);
        if (job.verb != JobCommand::None) {
            if (job.trace) setenv("PALVEX_TRACE", "1", 1);
            palvex::CControlLoader loader(ProgramLoaderOptions());
            const auto control = loader.CreateControl(error);
            if (job.verbose) ReportModule(loader, stderr);
            MethodTable methods;
            if (control == nullptr || !ReadModuleMethods(*control, methods, error)) {
                std::fprintf(stderr, "palvex: %s\n", error.c_str());
                return 3;
            }
            return RunSendJob(job, *control->Dispatch(), methods, stdout, stderr);
        }

        // Options first: they need no module, and --trace must be set before
        // the control is made (it reads PALVEX_TRACE then).
        CommandLine options;
        std::size_t firstCall = 0;
        if (!ParseOptions(words, options, firstCall, error)) {
            std::fprintf(stderr, "palvex: %s\n%s", error.c_str(), UsageText().c_str());
            return 2;
        }
        if (options.trace) setenv("PALVEX_TRACE", "1", 1);

        // The module, then the methods it describes, then the line checked
        // against them, then the calls.
        palvex::CControlLoader loader(ProgramLoaderOptions());
        const auto control = loader.CreateControl(error);
        if (options.verbose) ReportModule(loader, stderr);
        MethodTable methods;
        const bool haveMethods = control != nullptr && ReadModuleMethods(*control, methods, error);

        if (options.help) {
            if (!haveMethods) std::fprintf(stderr, "palvex: %s\n", error.c_str());
            std::fputs(HelpText(haveMethods ? &methods : nullptr).c_str(), stdout);
            return 0;
        }
        if (!haveMethods) {
            std::fprintf(stderr, "palvex: %s\n", error.c_str());
            return 3;
        }
        CommandLine line;
        if (!ParseCommandLine(words, methods, line, error)) {
            std::fprintf(stderr, "palvex: %s\n%s", error.c_str(), UsageText().c_str());
            return 2;
        }
        return RunCalls(*control->Dispatch(), line.calls, stdout, stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "palvex: %s\n", e.what());
        return 2;
    }
}
