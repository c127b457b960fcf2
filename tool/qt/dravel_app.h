// CDravelApp: starts the dialog program. It shows the main dialog modally
// and ends when that dialog closes.
#pragma once

#include "tool/control_site.h"

namespace dravel {

class CDravelApp {
public:
    // Runs the main dialog until it closes; returns the program's exit status.
    static int Run(int& argc, char** argv, const ControlFactory& makeControl);
};

} // namespace dravel
