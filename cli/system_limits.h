// What palvex cannot do on the system it was built for, said before trying
// and in --help (system_limits_linux.cpp: nothing; system_limits_win32.cpp:
// the jobs, the module's picture and IDL, and PNG pictures, which need
// libraries and calls the Windows build lacks).
#pragma once

#include "cli/job_args.h"

#include <string>

namespace palvex::cli {

// Why the job cannot run here; "" when it can.
std::string JobUnavailable(const JobCommand& job);

// The paragraph of --help that says what is not available here, ending in a
// blank line; "" when everything is.
const char* UnavailableHelpText();

} // namespace palvex::cli
