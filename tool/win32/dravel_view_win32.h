// The main dialog on the Windows dialog manager: it passes the dialog's
// events to CDravelDlg and runs the search timer and the other dialogs for it.
#pragma once

#include "tool/control_site.h"
#include "tool/dravel_dlg.h"
#include "tool/win32/template_dialog_win32.h"

namespace dravel {

class CDravelView : public win32::CTemplateDialog<IMainDialogHost> {
  public:
    explicit CDravelView(ControlFactory makeControl);

    CDravelDlg& Logic() { return m_logic; }

    // IMainDialogHost
    unsigned StartTimer(unsigned id, unsigned periodMs) override;
    void StopTimer(unsigned timer) override;
    bool RunWarningDialog() override;
    bool RunPasswordDialog() override;
    void RunForceSetupDialog() override;
    void PostCloseRequest() override;

  private:
    bool OnInitDialog(win32::WindowHandle dialog) override;
    void OnCommand(int id) override;
    void OnTimer() override;
    void OnRButtonDblClk() override;

    ControlFactory m_makeControl;
    CDravelDlg m_logic;
};

} // namespace dravel
