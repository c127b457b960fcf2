// CDravelApp: starts the dialog program. It shows the main dialog modally
// and ends when that dialog closes. Each system's views define Run: the Qt
// views on Linux (qt/dravel_app.cpp), the Win32 dialogs on Windows
// (win32/dravel_app_win32.cpp).
#pragma once

#include "tool/control_site.h"

namespace dravel {

class CDravelApp {
  public:
    // Runs the main dialog until it closes; returns the program's exit status.
    static int Run(int& argc, char** argv, const ControlFactory& makeControl);
};

} // namespace dravel
