// The dialog program on Windows: the main dialog, modally, until it closes;
// without a control, the message box that says how to get one.
#include "tool/dravel_app.h"

#include "tool/win32/dialog_window_win32.h"
#include "tool/win32/dravel_view_win32.h"

namespace dravel {

int CDravelApp::Run(int& /*argc*/, char** /*argv*/, const ControlFactory& makeControl) {
    const win32::CUiThread thread; // outlives the dialogs and their controls
    const ControlFactory make =
        FirstControl(makeControl, [](const std::string& text, const std::string& caption) {
            win32::ShowMessage(nullptr, text, caption, MessageIcon::Error);
        });
    if (!make) return 1;
    CDravelView dlg(make);
    dlg.RunModal(); // whatever the dialog returns, the program then ends
    return 0;
}

} // namespace dravel
