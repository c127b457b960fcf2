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
#include "cli/program.h"

#include "palvex_version.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using palvex::host::IHostedControl;

// The control, made the system's way. With `verbose`, says on standard error
// which module runs and where it was found.
std::unique_ptr<IHostedControl> MakeControl(bool verbose, std::string& error) {
    auto control = palvex::host::CreateHostedControl(palvex::cli::ProgramHostOptions(), error);
    if (verbose && control != nullptr)
        std::fprintf(stderr, "palvex: control module %s (%s)\n", control->ModulePath().c_str(),
                     control->ModuleSource());
    return control;
}

// The methods of the control, from its type information.
bool ReadModuleMethods(IHostedControl& control, palvex::cli::MethodTable& methods,
                       std::string& error) {
    const auto free = [&control](BSTR s) { control.FreeString(s); };
    if (control.Dispatch() == nullptr ||
        !palvex::cli::ReadMethodTable(*control.Dispatch(), free, methods, error)) {
        error = control.ModulePath() + ": " + error;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    using namespace palvex::cli;
    try {
        PrepareStandardStreams();
        const std::vector<std::string> arguments = ProgramWords(argc, argv);
        const std::vector<std::string_view> words(arguments.begin(), arguments.end());
        if (words.empty()) {
            std::fputs(UsageText().c_str(), stderr);
            return 2;
        }
        if (words.size() == 1 && words[0] == "--version") {
            std::puts("palvex " PALVEX_VERSION_TEXT);
            return 0;
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
            return RunModuleCommandHere(command, stdout, stderr);

        JobCommand job;
        if (!ParseJobCommand(words, job, error)) {
            std::fprintf(stderr, "palvex: %s\n%s", error.c_str(), UsageText().c_str());
            return 2;
        }
        if (job.verb != JobCommand::None) {
            if (job.verb == JobCommand::Preview) return RunPreview(job, stdout, stderr);
            if (job.trace) TraceControlToStderr();
            const auto control = MakeControl(job.verbose, error);
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
        if (options.trace) TraceControlToStderr();

        // The module, then the methods it describes, then the line checked
        // against them, then the calls.
        const auto control = MakeControl(options.verbose, error);
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
