#include "tool/dravel_app.h"

#include "tool/qt/dialog_frame.h"
#include "tool/qt/dravel_view.h"
#include "tool/qt/qt_dialog_view.h"

#include <QApplication>

namespace dravel {

int CDravelApp::Run(int& argc, char** argv, const ControlFactory& makeControl) {
    QApplication app(argc, argv);
    InstallQtTranslations();
    InstallDialogFontSubstitutes();
    const ControlFactory make =
        FirstControl(makeControl, [](const std::string& text, const std::string& caption) {
            ShowMessageBox(nullptr, text, caption, MessageIcon::Error);
        });
    if (!make) return 1;
    CDravelView dlg(make);
    dlg.exec(); // whatever the dialog returns, the program then ends
    return 0;
}

} // namespace dravel
