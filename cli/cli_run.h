// Running the calls of a checked command line on one control, through its
// dispatch interface only: GetIDsOfNames for each method's identifier, then
// Invoke with VARIANT arguments.
#pragma once

#include "cli/cli_args.h"

#include <cstdio>
#include <string>

namespace palvex::cli {

// What one call gave.
struct CallOutcome {
    HRESULT hr = S_OK;   // the invoke's own result; a failure means nothing ran
    unsigned argErr = 0; // refused argument's index in rgvarg
    bool returnedFalse = false;
    int number = 0;   // a number the method returned
    std::string line; // "METHOD result [out-values]" without a newline
};

// Asks the control for the identifier of every call's method (GetIDsOfNames)
// and stores it in the call. False with a message when the control does not
// know a name, or gives it another identifier than its type information
// did; then nothing may run.
bool ResolveIds(IDispatch& control, std::vector<Call>& calls, std::string& error);

// Invokes one call by its identifier and formats its output line. Whatever
// the control handed over (strings) is freed before returning.
CallOutcome RunCall(IDispatch& control, Call& call);

// Resolves the identifiers, then runs the calls in order, printing one line
// per call on `out` as each finishes. Returns the exit status: 0 when no call
// returned false, 1 when one did, 2 when a name was unknown or an invoke was
// refused (reported on `err`; later calls do not run). After a call that
// returned false, the reason of the link failure behind it goes to `err`
// (ReportLinkFailure).
int RunCalls(IDispatch& control, std::vector<Call>& calls, std::FILE* out, std::FILE* err);

// Why the control's link last failed, from its IPalvexDiagnostics; "" when
// nothing failed or the control does not tell.
std::string LastLinkErrorText(IDispatch& control);

// Prints "palvex: <why the link last failed>" on `err`, unless there is no
// reason, it is the one printed last (`printed` keeps it), or the control
// printed it itself (PALVEX_TRACE). Returns whether it printed.
bool ReportLinkFailure(IDispatch& control, std::FILE* err, std::string& printed);

} // namespace palvex::cli
