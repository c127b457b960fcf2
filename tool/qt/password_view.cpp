#include "tool/qt/password_view.h"

#include "ui_password_dialog.h"

namespace dravel {

CPasswordView::CPasswordView(QWidget* parent)
    : COkCancelDialog(parent), m_ui(std::make_unique<Ui::PasswordDialog>()) {
    m_ui->setupUi(this);
    m_ui->passwordEdit->setMaxLength(CPasswordDlg::kMaxEntry);
    Start(m_ui->okButton, m_ui->cancelButton);
}

CPasswordView::~CPasswordView() = default;

} // namespace dravel
