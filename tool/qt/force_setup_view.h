// The forced-configuration dialog on screen, with its own link control; the
// procedure is CForceSetupDlg's.
#pragma once

#include "tool/control_site.h"
#include "tool/force_setup_dlg.h"
#include "tool/qt/qt_dialog_view.h"

#include <memory>

namespace Ui {
class ForceSetupDialog;
}

namespace dravel {

class CForceSetupView : public QDialog, public CQtDialogView<IDialogView> {
    Q_OBJECT
public:
    CForceSetupView(const ControlFactory& makeControl, QWidget* parent = nullptr);
    ~CForceSetupView() override;

    void reject() override; // Escape and the close box: as "取消"

private:
    std::unique_ptr<Ui::ForceSetupDialog> m_ui;
    CForceSetupDlg m_logic;
};

} // namespace dravel
