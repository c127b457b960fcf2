// The requested simulated card on Windows: refused, the simulated card needs
// a pseudo terminal, which Windows does not have.
#include "tool/simulation_run.h"

#include "tool/resources/console_texts.h"

#include <ostream>

namespace dravel {

bool ServeRequestedSimulation(const CommandLine& line, std::ostream& err, std::shared_ptr<void>&) {
    if (!line.simulate) return true;
    err << text::kSimulateRefused << '\n';
    return false;
}

} // namespace dravel
