#include "tool/win32/password_view_win32.h"

#include "tool/resources/resource_ids.h"

namespace dravel {

std::intptr_t CPasswordView::RunModal(win32::WindowHandle owner) {
    return win32::RunModalDialog(IDD_PASSWORD, owner, *this);
}

win32::WindowHandle CPasswordView::Create(win32::WindowHandle owner) {
    return win32::CreateDialogWindow(IDD_PASSWORD, owner, *this);
}

bool CPasswordView::OnInitDialog(win32::WindowHandle dialog) {
    Attach(dialog);
    win32::LimitText(dialog, IDC_PASSWORD, CPasswordDlg::kMaxEntry);
    m_logic.OnInitDialog();
    return true;
}

void CPasswordView::OnCommand(int id) {
    if (id == IDOK)
        m_logic.OnOK(); // "确定" and Enter
    else if (id == IDCANCEL)
        m_logic.OnCancel();
}

} // namespace dravel
