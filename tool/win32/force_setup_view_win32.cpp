#include "tool/win32/force_setup_view_win32.h"

#include "tool/resources/resource_ids.h"

namespace dravel {

std::intptr_t CForceSetupView::RunModal(win32::WindowHandle owner) {
    return win32::RunModalDialog(IDD_FORCE_SETUP, owner, *this);
}

win32::WindowHandle CForceSetupView::Create(win32::WindowHandle owner) {
    return win32::CreateDialogWindow(IDD_FORCE_SETUP, owner, *this);
}

bool CForceSetupView::OnInitDialog(win32::WindowHandle dialog) {
    Attach(dialog);
    m_logic.OnInitDialog();
    return true; // the logic put the focus on the number field
}

void CForceSetupView::OnCommand(int id) {
    // Enter acts as "确定"; the dialog stays open after each write and
    // closes only with "取消", Escape or the close box.
    if (id == IDOK)
        m_logic.OnOK();
    else if (id == IDCANCEL)
        m_logic.OnCancel();
}

} // namespace dravel
