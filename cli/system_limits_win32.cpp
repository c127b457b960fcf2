// What the Windows build of palvex lacks: libpng (PNG pictures, the preview,
// the module's picture), the simulated card's drawing (the preview), and a
// Windows form of the job runner's calls (stop signals, file modes, name
// lookup), so the jobs are refused with the reason and the methods they call
// remain callable one by one.
#include "cli/system_limits.h"

namespace palvex::cli {

std::string JobUnavailable(const JobCommand& job) {
    const std::string verb = VerbName(job.verb);
    if (job.verb == JobCommand::Preview)
        return verb + " is not available on Windows: it draws with the simulated card and "
                      "writes a PNG image, which the Windows build has neither of";
    return verb + " is not available on Windows: its job runner is built for Linux only; call " +
           (job.verb == JobCommand::SendFont ? "SendHZLib" : "SendPicture") +
           " between ComInitial or NetInitial, SetLedProperty and QKClose instead";
}

const char* UnavailableHelpText() {
    return "Not available on Windows: the jobs send-font, send-picture and preview,\n"
           "and the module commands typelib and draw (they need libpng, the simulated\n"
           "card or Linux calls); SendPicture reads PGM images and raw pixel codes\n"
           "but no PNG images.\n"
           "\n";
}

} // namespace palvex::cli
