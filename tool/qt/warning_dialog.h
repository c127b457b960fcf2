// CWarningDlg: the warning gate's dialog. "退出" is the default button and
// has the focus, so Enter leaves the program.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class WarningDialog;
}

namespace dravel {

class CWarningDlg : public QDialog {
    Q_OBJECT
public:
    explicit CWarningDlg(QWidget* parent = nullptr);
    ~CWarningDlg() override;

private:
    std::unique_ptr<Ui::WarningDialog> m_ui;
};

} // namespace dravel
