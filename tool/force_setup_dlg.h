// CForceSetupDlg: the logic of the forced configuration. It writes the D-type
// identification, version 2.00 and today's date (added by the control) into
// the card on the port and speed the user names, under the screen number the
// user gives. The dialog stays open after every attempt.
#pragma once

#include "tool/dialog_exchange.h"
#include "tool/dialog_view.h"
#include "tool/palvex_proxy.h"

#include <memory>
#include <string>

namespace dravel {

class CForceSetupDlg : private CDialogData {
public:
    CForceSetupDlg(IDialogView& view, std::unique_ptr<IHostedControl> link);

    void OnInitDialog();
    // One complete open-write-close pass; true when the card took the setup.
    // A refused screen number shows its prompt and sends nothing.
    bool OnOK();
    void OnCancel();

    // Dialog data.
    std::string m_strType;
    unsigned m_nNumber = 0;
    std::string m_strBaud;
    int m_nPort = -1;
    int m_nVersion = -1;

    static constexpr unsigned kMaxNumber = 63;

private:
    void DoDataExchange(CDataExchange& dx) override;

    IDialogView& m_view;
    CPalvex m_ctlLink;
};

} // namespace dravel
