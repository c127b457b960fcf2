#include "tool/qt/force_setup_view.h"

#include "tool/qt/dialog_frame.h"
#include "ui_force_setup_dialog.h"

#include <QRegularExpressionValidator>

namespace dravel {

CForceSetupView::CForceSetupView(const ControlFactory& makeControl, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::ForceSetupDialog>()), m_logic(*this, makeControl()) {
    m_ui->setupUi(this);
    ApplyDialogFrame(this);
    // The number field takes digits only.
    m_ui->numberEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_ui->numberEdit));
    Bind(this);
    connect(m_ui->okButton, &QPushButton::clicked, this, [this] { m_logic.OnOK(); });
    connect(m_ui->cancelButton, &QPushButton::clicked, this, [this] { m_logic.OnCancel(); });
    m_logic.OnInitDialog();
}

CForceSetupView::~CForceSetupView() = default;

void CForceSetupView::reject() { m_logic.OnCancel(); }

} // namespace dravel
