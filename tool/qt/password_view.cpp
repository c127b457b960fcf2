#include "tool/qt/password_view.h"

#include "tool/qt/dialog_frame.h"
#include "ui_password_dialog.h"

namespace dravel {

CPasswordView::CPasswordView(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::PasswordDialog>()), m_logic(*this) {
    m_ui->setupUi(this);
    ApplyDialogFrame(this);
    m_ui->passwordEdit->setMaxLength(CPasswordDlg::kMaxEntry);
    Bind(this);
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] { m_logic.OnOK(); });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, [this] { m_logic.OnCancel(); });
    m_logic.OnInitDialog();
}

CPasswordView::~CPasswordView() = default;

void CPasswordView::reject() { m_logic.OnCancel(); }

} // namespace dravel
