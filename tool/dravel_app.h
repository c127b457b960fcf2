// CDravelApp: starts the dialog program. It shows the main dialog modally
// and ends when that dialog closes. Each system's views define Run: the Qt
// views on Linux (qt/dravel_app.cpp), the Win32 dialogs on Windows
// (win32/dravel_app_win32.cpp); both begin with FirstControl (dravel_app.cpp),
// so that no dialog opens without a control.
#pragma once

#include "tool/control_site.h"

#include <functional>
#include <string>

namespace dravel {

class CDravelApp {
  public:
    // Runs the main dialog until it closes; returns the program's exit status:
    // 0, or 1 when no control could be made (the message said so).
    static int Run(int& argc, char** argv, const ControlFactory& makeControl);

    // Shows a message box before any dialog: the text, the caption.
    using MessageBoxFn = std::function<void(const std::string&, const std::string&)>;

    // The control of the main dialog, made before any dialog opens. When none
    // can be made, `showMessage` shows the text that says so and how to fix
    // it, and the result is empty: the program ends there. Otherwise the
    // factory gives that control on its first call and a new one on each
    // call after it (the forced configuration's).
    static ControlFactory FirstControl(const ControlFactory& makeControl,
                                       const MessageBoxFn& showMessage);

    // The message FirstControl shows, with this system's way to fix it.
    static std::string NoControlMessage();
};

} // namespace dravel
