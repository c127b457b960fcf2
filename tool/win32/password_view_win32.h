// The password dialog on the Windows dialog manager; the check is CPasswordDlg's.
// RunModal gives IDOK for the right password, 0 otherwise (Escape and the
// close box too).
#pragma once

#include "tool/password_dlg.h"
#include "tool/win32/template_dialog_win32.h"

namespace dravel {

class CPasswordView : public win32::COkCancelDialog<CPasswordDlg> {
  public:
    CPasswordView() : COkCancelDialog(IDD_PASSWORD) {}

  private:
    void PrepareControls(win32::WindowHandle dialog) override;
};

} // namespace dravel
