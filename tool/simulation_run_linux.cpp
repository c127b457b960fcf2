// The requested simulated card on Linux: the card simulator on a pty.
#include "tool/simulation_run.h"

#include "tool/console/console_run.h"
#include "tool/resources/console_texts.h"
#include "tool/simulation.h"

#include <ostream>

namespace dravel {

bool ServeRequestedSimulation(const CommandLine& line, std::ostream& err,
                              std::shared_ptr<void>& served) {
    if (!line.simulate) return true;
    SimulationOptions options = line.simulation;
    options.cardNumber = SimulatedCardNumber(line);
    auto card = std::make_shared<CSimulatedCard>(options);
    std::string error;
    if (!card->Start(error)) {
        err << "dravel: cannot serve a simulated card: " << error << '\n';
        return false;
    }
    err << text::kSimulating << card->Describe() << '\n';
    served = std::move(card);
    return true;
}

} // namespace dravel
