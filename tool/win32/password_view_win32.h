// The password dialog on the Windows dialog manager; the check is CPasswordDlg's.
#pragma once

#include "tool/password_dlg.h"
#include "tool/win32/dialog_window_win32.h"

#include <cstdint>

namespace dravel {

class CPasswordView : public win32::CDialogWindowView<IDialogView>, private win32::IDialogEvents {
  public:
    CPasswordView() : m_logic(*this) {}

    // IDOK for the right password, 0 otherwise (Escape and the close box too).
    std::intptr_t RunModal(win32::WindowHandle owner);
    win32::WindowHandle Create(win32::WindowHandle owner);

  private:
    bool OnInitDialog(win32::WindowHandle dialog) override;
    void OnCommand(int id) override;

    CPasswordDlg m_logic;
};

} // namespace dravel
