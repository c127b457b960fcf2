#include "tool/force_setup_dlg.h"

#include "control/palvex_facts.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <cstdio>

namespace dravel {

namespace {

constexpr short kForceWaitMs = 1000;
// Identification "DDDD7" and version 2.00 of a D-type card.
constexpr char kSetupStringD[] = "DDDD7200";
constexpr int kVersionCodeD = 112;
// The size the forced configuration arms the control with and records.
constexpr short kForceWidth = 256;
constexpr short kForceHeight = 64;

} // namespace

CForceSetupDlg::CForceSetupDlg(IDialogView& view, std::unique_ptr<IHostedControl> link)
    : CDialogData(view), m_view(view), m_ctlLink(std::move(link)) {}

void CForceSetupDlg::DoDataExchange(CDataExchange& dx) {
    DdxListText(dx, IDC_FORCE_TYPE, m_strType);
    DdxUnsigned(dx, IDC_FORCE_NUMBER, m_nNumber, 0, kMaxNumber, text::kForceCaption);
    DdxListText(dx, IDC_FORCE_BAUD, m_strBaud);
    DdxListIndex(dx, IDC_FORCE_PORT, m_nPort);
    DdxListIndex(dx, IDC_FORCE_VERSION, m_nVersion);
}

void CForceSetupDlg::OnInitDialog() {
    UpdateData(false);
    int commPort = 1;
    int baudRate = 28800;
    {
        CSettingsKey key;
        key.OpenKey(kProductKey);
        key.ReadInt(kValueVersion, 80); // read as the dialog always has; not used
        commPort = key.ReadInt(kValueCommPort, 1);
        baudRate = key.ReadInt(kValueBaudRate, 28800);
        m_nNumber = static_cast<unsigned>(key.ReadInt(kValueNumber, 0));
        key.Close();
    }
    UpdateData(false);

    m_view.ResetList(IDC_FORCE_TYPE);
    m_view.AddListItem(IDC_FORCE_TYPE, text::kForceTypeD);
    m_view.SetListSelection(IDC_FORCE_TYPE, 0);
    m_view.EnableItem(IDC_FORCE_TYPE, false);

    m_view.ResetList(IDC_FORCE_PORT);
    for (int port = 1; port <= palvex::card::kSearchedPorts; ++port) {
        char item[16];
        std::snprintf(item, sizeof item, text::kForcePortFormat, port);
        m_view.AddListItem(IDC_FORCE_PORT, item);
    }
    m_view.SetListSelection(IDC_FORCE_PORT, commPort - 1);

    m_view.ResetList(IDC_FORCE_BAUD);
    for (const char* item : text::kForceBaudItems) m_view.AddListItem(IDC_FORCE_BAUD, item);
    char baud[32];
    std::snprintf(baud, sizeof baud, text::kForceBaudFormat, baudRate);
    m_view.SetListSelection(IDC_FORCE_BAUD, FindListPrefix(m_view, IDC_FORCE_BAUD, baud));

    m_view.ResetList(IDC_FORCE_VERSION);
    m_view.AddListItem(IDC_FORCE_VERSION, text::kForceVersion);
    m_view.SetListSelection(IDC_FORCE_VERSION, 0);
    m_view.EnableItem(IDC_FORCE_VERSION, false);

    m_view.FocusItem(IDC_FORCE_NUMBER);
}

bool CForceSetupDlg::OnOK() {
    if (!UpdateData(true)) return false;

    bool ok = false;
    // Only the D type has a setup string; any other type is not written.
    if (m_strType == text::kForceTypeD) {
        const int baudRate = DecimalValue(m_strBaud);
        if (m_ctlLink.ComInitial(static_cast<short>(m_nPort + 1), static_cast<short>(baudRate),
                                 kForceWaitMs)) {
            if (m_ctlLink.SetLedProperty(static_cast<short>(m_nNumber), kForceWidth, kForceHeight) &&
                m_ctlLink.QKSetup(reinterpret_cast<LONG_PTR>(kSetupStringD))) {
                ok = true;
            }
            m_ctlLink.QKClose();
        }
        if (ok)
            WriteSettings(kProductKey, {{kValueCommPort, m_nPort + 1},
                                        {kValueBaudRate, baudRate},
                                        {kValueVersion, kVersionCodeD},
                                        {kValueNumber, static_cast<int>(m_nNumber)},
                                        {kValueWidth, kForceWidth},
                                        {kValueHeight, kForceHeight},
                                        {kValueColor, 0}});
    }
    m_view.ShowMessage(ok ? text::kConfigSucceeded : text::kConfigFailed, text::kForceCaption,
                       MessageIcon::None);
    return ok;
}

void CForceSetupDlg::OnCancel() { m_view.EndDialog(IDCANCEL); }

} // namespace dravel
