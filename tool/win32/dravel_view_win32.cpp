#include "tool/win32/dravel_view_win32.h"

#include "tool/resources/resource_ids.h"
#include "tool/win32/force_setup_view_win32.h"
#include "tool/win32/password_view_win32.h"

#include <utility>

namespace dravel {

namespace {

// The warning gate's dialog: no logic of its own. "退出" has the focus and
// is the default button, so Enter declines; Escape and the close box too.
class CWarningDlg : public win32::IDialogEvents {
  public:
    bool OnInitDialog(win32::WindowHandle dialog) override {
        m_hWnd = dialog;
        win32::FocusItem(dialog, IDCANCEL);
        return true;
    }
    void OnCommand(int id) override {
        if (id == IDOK || id == IDCANCEL) win32::EndDialog(m_hWnd, id);
    }

  private:
    win32::WindowHandle m_hWnd = nullptr;
};

} // namespace

CDravelView::CDravelView(ControlFactory makeControl)
    : CTemplateDialog(IDD_DRAVEL_DIALOG), m_makeControl(std::move(makeControl)),
      m_logic(*this, m_makeControl()) {}

unsigned CDravelView::StartTimer(unsigned id, unsigned periodMs) {
    return win32::StartTimer(Window(), id, periodMs);
}

void CDravelView::StopTimer(unsigned timer) {
    win32::StopTimer(Window(), timer);
}

bool CDravelView::RunWarningDialog() {
    CWarningDlg warning;
    return win32::RunModalDialog(IDD_WARNING, Window(), warning) == IDOK;
}

bool CDravelView::RunPasswordDialog() {
    CPasswordView password;
    return password.RunModal(Window()) == IDOK;
}

void CDravelView::RunForceSetupDialog() {
    CForceSetupView force(m_makeControl);
    force.RunModal(Window()); // whatever it ends with, the main dialog goes on
}

void CDravelView::PostCloseRequest() {
    win32::PostCloseRequest(Window());
}

bool CDravelView::OnInitDialog(win32::WindowHandle dialog) {
    Attach(dialog);
    win32::SetIcon(dialog, IDI_DRAVEL);
    m_logic.OnInitDialog();
    return true; // the logic put the focus on "查找"
}

void CDravelView::OnCommand(int id) {
    if (id == IDCANCEL) { // Escape, the close box, a posted close request
        m_logic.OnClose();
        EndDialog(IDCANCEL);
        return;
    }
    // A click queued before its button was disabled is dropped; so is Enter
    // while "查找" is disabled (the dialog has no OK button).
    if (!IsItemEnabled(id)) return;
    switch (id) {
    case IDC_SEARCH:
        m_logic.OnSearch();
        break;
    case IDC_CONFIGURE:
        m_logic.OnConfigure();
        break;
    case IDC_MODULE_8X8:
    case IDC_MODULE_8X4:
        m_logic.OnModuleClicked();
        break;
    default:
        break;
    }
}

void CDravelView::OnTimer() {
    m_logic.OnTimer();
}

void CDravelView::OnRButtonDblClk() {
    m_logic.OnRButtonDblClk();
}

} // namespace dravel
