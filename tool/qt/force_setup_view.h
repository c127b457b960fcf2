// The forced-configuration dialog on screen, with its own link control; the
// procedure is CForceSetupDlg's.
#pragma once

#include "tool/control_site.h"
#include "tool/force_setup_dlg.h"
#include "tool/qt/ok_cancel_dialog.h"

#include <memory>

namespace Ui {
class ForceSetupDialog;
}

namespace dravel {

class CForceSetupView : public COkCancelDialog<CForceSetupDlg> {
    Q_OBJECT
public:
    CForceSetupView(const ControlFactory& makeControl, QWidget* parent = nullptr);
    ~CForceSetupView() override;

private:
    std::unique_ptr<Ui::ForceSetupDialog> m_ui;
};

} // namespace dravel
