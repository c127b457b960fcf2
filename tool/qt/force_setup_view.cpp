#include "tool/qt/force_setup_view.h"

#include "ui_force_setup_dialog.h"

#include <QRegularExpressionValidator>

namespace dravel {

CForceSetupView::CForceSetupView(const ControlFactory& makeControl, QWidget* parent)
    : COkCancelDialog(parent, makeControl()), m_ui(std::make_unique<Ui::ForceSetupDialog>()) {
    m_ui->setupUi(this);
    // The number field takes digits only.
    m_ui->numberEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_ui->numberEdit));
    Start(m_ui->okButton, m_ui->cancelButton);
}

CForceSetupView::~CForceSetupView() = default;

} // namespace dravel
