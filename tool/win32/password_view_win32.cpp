#include "tool/win32/password_view_win32.h"

namespace dravel {

void CPasswordView::PrepareControls(win32::WindowHandle dialog) {
    win32::LimitText(dialog, IDC_PASSWORD, CPasswordDlg::kMaxEntry);
}

} // namespace dravel
