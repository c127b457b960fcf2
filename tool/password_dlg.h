// CPasswordDlg: the logic of the password dialog that guards the forced
// configuration. The entry is compared with the fixed password after
// conversion to upper case; no message either way.
#pragma once

#include "tool/dialog_view.h"

#include <string>
#include <string_view>

namespace dravel {

class CPasswordDlg {
public:
    explicit CPasswordDlg(IDialogView& view) : m_view(view) {}

    void OnInitDialog();
    // Ends the dialog with IDOK for the right password, 0 otherwise.
    void OnOK();
    void OnCancel();

    // True when the entry, upper-cased, is exactly the password.
    static bool IsPassword(std::string_view entry);

    // Longest entry the edit field takes.
    static constexpr int kMaxEntry = 9;

    std::string m_strPassword;

private:
    IDialogView& m_view;
};

} // namespace dravel
