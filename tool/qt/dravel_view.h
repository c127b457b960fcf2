// The main dialog on screen: it forwards the dialog's events to CDravelDlg
// and runs the timer and the other dialogs for it.
#pragma once

#include "tool/control_site.h"
#include "tool/dravel_dlg.h"
#include "tool/qt/qt_dialog_view.h"

#include <memory>

namespace Ui {
class MainDialog;
}

namespace dravel {

class CDravelView : public QDialog, public CQtDialogView<IMainDialogHost> {
    Q_OBJECT
public:
    explicit CDravelView(ControlFactory makeControl, QWidget* parent = nullptr);
    ~CDravelView() override;

    CDravelDlg& Logic() { return m_logic; }

    // IMainDialogHost
    unsigned StartTimer(unsigned id, unsigned periodMs) override;
    void StopTimer(unsigned timer) override;
    bool RunWarningDialog() override;
    bool RunPasswordDialog() override;
    void RunForceSetupDialog() override;
    void PostCloseRequest() override;

    void reject() override; // Escape: close

protected:
    void timerEvent(QTimerEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<Ui::MainDialog> m_ui;
    ControlFactory m_makeControl;
    CDravelDlg m_logic;
};

} // namespace dravel
