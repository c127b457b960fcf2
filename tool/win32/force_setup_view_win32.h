// The forced-configuration dialog on the Windows dialog manager, with its
// own link control; the procedure is CForceSetupDlg's. The dialog stays open
// after each write and closes only with "取消", Escape or the close box.
#pragma once

#include "tool/control_site.h"
#include "tool/force_setup_dlg.h"
#include "tool/win32/template_dialog_win32.h"

namespace dravel {

class CForceSetupView : public win32::COkCancelDialog<CForceSetupDlg> {
  public:
    explicit CForceSetupView(const ControlFactory& makeControl)
        : COkCancelDialog(IDD_FORCE_SETUP, makeControl()) {}
};

} // namespace dravel
