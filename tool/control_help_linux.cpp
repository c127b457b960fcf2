// The fix for a missing control on Linux: palvex register records the
// module for the user; or the module in dravel's folder (or ../lib beside it).
#include "tool/control_help.h"

namespace dravel {

const SControlHelp& ControlHelp() {
    static const SControlHelp help{"在终端中运行\n   palvex register", "libpalvex.so.1", "dravel"};
    return help;
}

} // namespace dravel
