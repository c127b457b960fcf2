// palvex: calls methods of the link control from the command line.
// See cli/cli_args.h for the command line and `palvex --help` for the methods.
#include "cli/cli_args.h"
#include "cli/cli_run.h"
#include "control/link/palvex_ctrl.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    using namespace palvex::cli;
    try {
        const std::vector<std::string_view> words(argv + 1, argv + argc);
        if (words.empty()) {
            std::fputs(UsageText().c_str(), stderr);
            return 2;
        }
        CommandLine line;
        std::string error;
        if (!ParseCommandLine(words, line, error)) {
            std::fprintf(stderr, "palvex: %s\n%s", error.c_str(), UsageText().c_str());
            return 2;
        }
        if (line.help) {
            std::fputs(HelpText().c_str(), stdout);
            return 0;
        }
        // The control reads PALVEX_TRACE when it is created.
        if (line.trace) setenv("PALVEX_TRACE", "1", 1);
        auto ctrl = std::make_unique<CPalvexCtrl>();
        return RunCalls(*ctrl, line.calls, stdout, stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "palvex: %s\n", e.what());
        return 2;
    }
}
