// The simulated card a command line asks for (--simulate), served for the
// run. Linux serves it on a pseudo terminal (simulation_run_linux.cpp over
// CSimulatedCard); Windows has no pseudo terminals, so there the request is
// refused with the reason (simulation_run_win32.cpp).
#pragma once

#include "tool/console/console_args.h"

#include <iosfwd>
#include <memory>

namespace dravel {

// With --simulate: starts the card and keeps it in `served` (undone when the
// last copy goes), saying on `err` what it serves. False, with the reason
// on `err`, when it cannot be served. Without --simulate: true, nothing
// served.
bool ServeRequestedSimulation(const CommandLine& line, std::ostream& err,
                              std::shared_ptr<void>& served);

} // namespace dravel
