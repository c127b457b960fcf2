// On Linux palvex can do everything it offers.
#include "cli/system_limits.h"

namespace palvex::cli {

std::string JobUnavailable(const JobCommand&) {
    return {};
}

const char* UnavailableHelpText() {
    return "";
}

} // namespace palvex::cli
