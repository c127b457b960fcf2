// The dialog program on Windows: the main dialog, modally, until it closes.
#include "tool/dravel_app.h"

#include "tool/win32/dialog_window_win32.h"
#include "tool/win32/dravel_view_win32.h"

namespace dravel {

int CDravelApp::Run(int& /*argc*/, char** /*argv*/, const ControlFactory& makeControl) {
    const win32::CUiThread thread; // outlives the dialogs and their controls
    CDravelView dlg(makeControl);
    dlg.RunModal(); // whatever the dialog returns, the program then ends
    return 0;
}

} // namespace dravel
