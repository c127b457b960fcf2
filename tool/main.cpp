// dravel: the configuration tool. Without a command it shows the dialog; the
// console commands run without a display and never start the GUI library.
#include "tool/console/console_args.h"
#include "tool/console/console_run.h"
#include "tool/control_site.h"
#include "tool/qt/dravel_app.h"
#include "tool/resources/console_texts.h"
#include "tool/simulation.h"

#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    using namespace dravel;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto line = ParseCommandLine(args, error);
    if (!line) {
        std::cerr << "dravel: " << error << '\n' << text::kUsageHint;
        return 2;
    }
    const ControlFactory makeControl = CreateLinkControl;
    if (line->command != Command::Dialog) {
        const bool terminal = ::isatty(STDIN_FILENO) != 0;
        ConsoleIo io{std::cin, std::cout, std::cerr, terminal, terminal};
        return RunConsoleCommand(*line, io, makeControl);
    }

    std::unique_ptr<CSimulatedCard> simulated;
    if (line->simulate) {
        SimulationOptions options = line->simulation;
        options.cardNumber = SimulatedCardNumber(*line);
        simulated = std::make_unique<CSimulatedCard>(options);
        if (!simulated->Start(error)) {
            std::cerr << "dravel: cannot serve a simulated card: " << error << '\n';
            return 1;
        }
        std::cerr << text::kSimulating << simulated->Describe() << '\n';
    }
    return CDravelApp::Run(argc, argv, makeControl);
}
