// Running the calls of a checked command line on one control, through the
// dispatch table only: the identifier the name gave, then InvokeMethod with
// VARIANT arguments.
#pragma once

#include "cli/cli_args.h"

#include <cstdio>
#include <string>

class CPalvexCtrl;

namespace palvex::cli {

// What one call gave.
struct CallOutcome {
    HRESULT hr = S_OK;   // the invoke's own result; a failure means nothing ran
    unsigned argErr = 0; // refused argument's index in rgvarg
    bool returnedFalse = false;
    std::string line; // "METHOD result [out-values]" without a newline
};

// Invokes one call and formats its output line. Whatever the control handed
// over (strings) is freed before returning.
CallOutcome RunCall(CPalvexCtrl& ctrl, Call& call);

// Runs the calls in order, printing one line per call on `out` as each
// finishes. Returns the exit status: 0 when no call returned false, 1 when
// one did, 2 when an invoke was refused (reported on `err`; later calls do
// not run).
int RunCalls(CPalvexCtrl& ctrl, std::vector<Call>& calls, std::FILE* out, std::FILE* err);

} // namespace palvex::cli
