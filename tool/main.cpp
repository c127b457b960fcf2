// dravel: the configuration tool. Without a command it shows the dialog; the
// console commands run without a display and never start the GUI library.
// Given words, it writes where they came from: on Windows dravel.exe is a
// windowed program, which takes its parent's console for the standard
// handles it was not given (UseParentConsole). The dialogs never do, so
// closing a console window does not end them.
#include "tool/console/console_args.h"
#include "tool/console/console_run.h"
#include "tool/console/terminal.h"
#include "tool/control_site.h"
#include "tool/dravel_app.h"
#include "tool/resources/console_texts.h"
#include "tool/simulation_run.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

int Main(int argc, char** argv) {
    using namespace dravel;
    std::ostream& out = ConsoleOut();
    std::ostream& err = ConsoleErr();
    const std::vector<std::string> args = ProgramWords(argc, argv);
    if (!args.empty()) UseParentConsole();
    std::string error;
    const auto line = ParseCommandLine(args, error);
    if (!line) {
        err << "dravel: " << error << '\n' << text::kUsageHint;
        return 2;
    }
    const ControlFactory makeControl = CreateLinkControl;
    if (line->command != Command::Dialog) {
        const bool terminal = InputIsTerminal();
        ConsoleIo io{ConsoleIn(), out, err, terminal, terminal};
        return RunConsoleCommand(*line, io, makeControl);
    }

    std::shared_ptr<void> simulated;
    if (!ServeRequestedSimulation(*line, err, simulated)) return 1;
    return CDravelApp::Run(argc, argv, makeControl);
}

} // namespace

int main(int argc, char** argv) {
    const int status = Main(argc, argv);
    dravel::ConsoleOut().flush();
    dravel::ConsoleErr().flush();
    return status;
}
