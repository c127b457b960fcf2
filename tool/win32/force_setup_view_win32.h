// The forced-configuration dialog on the Windows dialog manager, with its
// own link control; the procedure is CForceSetupDlg's.
#pragma once

#include "tool/control_site.h"
#include "tool/force_setup_dlg.h"
#include "tool/win32/dialog_window_win32.h"

#include <cstdint>

namespace dravel {

class CForceSetupView : public win32::CDialogWindowView<IDialogView>, private win32::IDialogEvents {
  public:
    explicit CForceSetupView(const ControlFactory& makeControl) : m_logic(*this, makeControl()) {}

    std::intptr_t RunModal(win32::WindowHandle owner);
    win32::WindowHandle Create(win32::WindowHandle owner);

  private:
    bool OnInitDialog(win32::WindowHandle dialog) override;
    void OnCommand(int id) override;

    CForceSetupDlg m_logic;
};

} // namespace dravel
