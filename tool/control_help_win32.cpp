// The fix for a missing control on Windows: regsvr32, or Palvex.ocx in the
// folder of dravel.exe, where the program loads it itself.
#include "tool/control_help.h"

namespace dravel {

const SControlHelp& ControlHelp() {
    static const SControlHelp help{
        "以管理员身份打开命令提示符，进入 Palvex.ocx 所在的文件夹，运行\n"
        "   regsvr32 Palvex.ocx",
        "Palvex.ocx", "dravel.exe"};
    return help;
}

} // namespace dravel
