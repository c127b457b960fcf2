// The password dialog on screen; the check is CPasswordDlg's.
#pragma once

#include "tool/password_dlg.h"
#include "tool/qt/qt_dialog_view.h"

#include <memory>

namespace Ui {
class PasswordDialog;
}

namespace dravel {

class CPasswordView : public QDialog, public CQtDialogView<IDialogView> {
    Q_OBJECT
public:
    explicit CPasswordView(QWidget* parent = nullptr);
    ~CPasswordView() override;

    void reject() override; // Escape and the close box: as "取消"

private:
    std::unique_ptr<Ui::PasswordDialog> m_ui;
    CPasswordDlg m_logic;
};

} // namespace dravel
