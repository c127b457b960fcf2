#include "tool/dravel_app.h"

#include "tool/qt/dialog_frame.h"
#include "tool/qt/dravel_view.h"

#include <QApplication>

namespace dravel {

int CDravelApp::Run(int& argc, char** argv, const ControlFactory& makeControl) {
    QApplication app(argc, argv);
    InstallDialogFontSubstitutes();
    CDravelView dlg(makeControl);
    dlg.exec(); // whatever the dialog returns, the program then ends
    return 0;
}

} // namespace dravel
