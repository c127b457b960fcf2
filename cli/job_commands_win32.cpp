// The jobs on Windows: refused with the reason (system_limits_win32.cpp).
#include "cli/job_commands.h"

#include "cli/system_limits.h"

namespace palvex::cli {
namespace {

int Refuse(const JobCommand& command, std::FILE* err) {
    std::fprintf(err, "palvex: %s\n", JobUnavailable(command).c_str());
    return 2;
}

} // namespace

int RunPreview(const JobCommand& command, std::FILE*, std::FILE* err) {
    return Refuse(command, err);
}

int RunSendJob(const JobCommand& command, IDispatch&, const MethodTable&, std::FILE*,
               std::FILE* err) {
    return Refuse(command, err);
}

} // namespace palvex::cli
