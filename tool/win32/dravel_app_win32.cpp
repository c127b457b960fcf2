// TEMPORARY: stands in for the Win32 dialogs until they land; replaced
// whole by the real win32/dravel_app_win32.cpp. The console commands work
// without it.
#include "tool/dravel_app.h"

#include <cstdio>

namespace dravel {

int CDravelApp::Run(int&, char**, const ControlFactory&) {
    std::fputs("dravel: the dialogs are not in this build; use dravel search, configure, force "
               "or settings\n",
               stderr);
    return 1;
}

} // namespace dravel
