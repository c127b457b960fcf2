// The password dialog on screen; the check is CPasswordDlg's.
#pragma once

#include "tool/password_dlg.h"
#include "tool/qt/ok_cancel_dialog.h"

#include <memory>

namespace Ui {
class PasswordDialog;
}

namespace dravel {

class CPasswordView : public COkCancelDialog<CPasswordDlg> {
    Q_OBJECT
public:
    explicit CPasswordView(QWidget* parent = nullptr);
    ~CPasswordView() override;

private:
    std::unique_ptr<Ui::PasswordDialog> m_ui;
};

} // namespace dravel
