#include "tool/qt/dravel_view.h"

#include "tool/qt/dialog_frame.h"
#include "tool/qt/force_setup_view.h"
#include "tool/qt/password_view.h"
#include "tool/qt/warning_dialog.h"
#include "tool/resources/resource_ids.h"
#include "ui_main_dialog.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QStyle>

namespace dravel {

CDravelView::CDravelView(ControlFactory makeControl, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::MainDialog>()),
      m_makeControl(std::move(makeControl)),
      m_logic(*this, m_makeControl()) {
    m_ui->setupUi(this);
    ApplyDialogFrame(this);
    const int side = m_ui->iconLabel->width();
    const QIcon icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    setWindowIcon(icon);
    m_ui->iconLabel->setPixmap(icon.pixmap(side, side));
    Bind(this);

    connect(m_ui->searchButton, &QPushButton::clicked, this, [this] { m_logic.OnSearch(); });
    connect(m_ui->configureButton, &QPushButton::clicked, this, [this] { m_logic.OnConfigure(); });
    connect(m_ui->module8x8, &QRadioButton::clicked, this, [this] { m_logic.OnModuleClicked(); });
    connect(m_ui->module8x4, &QRadioButton::clicked, this, [this] { m_logic.OnModuleClicked(); });
    m_logic.OnInitDialog();
}

CDravelView::~CDravelView() = default;

unsigned CDravelView::StartTimer(unsigned /*id*/, unsigned periodMs) {
    const int timer = startTimer(static_cast<int>(periodMs));
    return timer > 0 ? static_cast<unsigned>(timer) : 0;
}

void CDravelView::StopTimer(unsigned timer) {
    if (timer != 0) killTimer(static_cast<int>(timer));
}

bool CDravelView::RunWarningDialog() {
    CWarningDlg dlg(this);
    return dlg.exec() == QDialog::Accepted;
}

bool CDravelView::RunPasswordDialog() {
    CPasswordView dlg(this);
    return dlg.exec() == IDOK;
}

void CDravelView::RunForceSetupDialog() {
    CForceSetupView dlg(m_makeControl, this);
    dlg.exec();
}

void CDravelView::PostCloseRequest() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void CDravelView::reject() { close(); }

void CDravelView::timerEvent(QTimerEvent* /*event*/) { m_logic.OnTimer(); }

void CDravelView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) m_logic.OnRButtonDblClk();
    QDialog::mouseDoubleClickEvent(event);
}

void CDravelView::closeEvent(QCloseEvent* event) {
    m_logic.OnClose();
    QDialog::done(QDialog::Rejected);
    event->accept();
}

} // namespace dravel
