#include "tool/password_dlg.h"

#include "tool/resources/resource_ids.h"

namespace dravel {

namespace {

// Eight letters, kept in upper case.
constexpr std::string_view kPassword = "TAVRINQK";

char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

bool CPasswordDlg::IsPassword(std::string_view entry) {
    if (entry.size() != kPassword.size()) return false;
    for (std::size_t i = 0; i < entry.size(); ++i)
        if (ToUpperAscii(entry[i]) != kPassword[i]) return false;
    return true;
}

void CPasswordDlg::OnInitDialog() { m_view.FocusItem(IDC_PASSWORD); }

void CPasswordDlg::OnOK() {
    m_strPassword = m_view.GetItemText(IDC_PASSWORD);
    m_view.EndDialog(IsPassword(m_strPassword) ? IDOK : 0);
}

void CPasswordDlg::OnCancel() { m_view.EndDialog(0); }

} // namespace dravel
