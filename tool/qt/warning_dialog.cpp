#include "tool/qt/warning_dialog.h"

#include "tool/qt/dialog_frame.h"
#include "tool/qt/qt_dialog_view.h"
#include "tool/resources/dravel_texts.h"
#include "ui_warning_dialog.h"

#include <QStyle>

namespace dravel {

CWarningDlg::CWarningDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::WarningDialog>()) {
    m_ui->setupUi(this);
    ApplyDialogFrame(this);
    m_ui->messageLabel->setText(ToQString(text::kWarningMessage));
    const int side = m_ui->iconLabel->width();
    m_ui->iconLabel->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side));
    connect(m_ui->enterButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->exitButton, &QPushButton::clicked, this, &QDialog::reject);
    m_ui->exitButton->setFocus(Qt::OtherFocusReason);
}

CWarningDlg::~CWarningDlg() = default;

} // namespace dravel
