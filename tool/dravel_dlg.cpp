#include "tool/dravel_dlg.h"

#include "control/palvex_facts.h"
#include "tool/card_property.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <cstdio>

namespace dravel {

namespace {

// Reply wait of one probe, in milliseconds.
constexpr short kProbeWaitMs = 800;
// Size that only arms the control for the property request.
constexpr short kProbeWidth = 128;
constexpr short kProbeHeight = 64;
constexpr int kScreenNumbers = palvex::card::kMaxLedNum + 1;
constexpr int kLastPort = palvex::card::kSearchedPorts;
constexpr std::uint16_t kFirstBaud = 28800;

// The controls that show a found card's settings, and the configure button.
constexpr int kSettingControls[] = {IDC_WIDTH,        IDC_HEIGHT,           IDC_MODULE_8X8,
                                    IDC_MODULE_8X4,   IDC_LEFT_TO_RIGHT,    IDC_DATA_INVERT,
                                    IDC_BLANK_INVERT, IDC_EVEN_COL_REVERSE, IDC_ODD_COL_REVERSE,
                                    IDC_ROW8_REVERSE, IDC_ROW_SWAP,         IDC_CONFIGURE};

template <class... Args> std::string Format(const char* format, Args... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

bool Bit(std::uint8_t flags, int bit) {
    return ((flags >> bit) & 1) != 0;
}

} // namespace

std::uint16_t NextSearchBaud(std::uint16_t baud) {
    switch (baud) {
    case 28800:
        return 38400;
    case 38400:
        return 57600;
    case 57600:
        return 9600;
    case 9600:
        return 14400;
    default:
        return 0;
    }
}

std::uint8_t PackWiringFlags(bool leftToRight, bool blankInvert, bool dataInvert,
                             bool evenColReverse, bool oddColReverse, bool row8Reverse,
                             bool rowSwap) {
    return static_cast<std::uint8_t>(leftToRight << 7 | blankInvert << 6 | dataInvert << 5 |
                                     evenColReverse << 4 | oddColReverse << 3 | row8Reverse << 2 |
                                     rowSwap << 1);
}

CDravelDlg::CDravelDlg(IMainDialogHost& host, std::unique_ptr<IHostedControl> link)
    : CDialogData(host), m_host(host), m_ctlLink(std::move(link)) {}

void CDravelDlg::DoDataExchange(CDataExchange& dx) {
    DdxListText(dx, IDC_WIDTH, m_strWidth);
    DdxListText(dx, IDC_HEIGHT, m_strHeight);
    DdxRadio(dx, {IDC_MODULE_8X8, IDC_MODULE_8X4}, m_nModule);
    DdxCheck(dx, IDC_DATA_INVERT, m_bDataInvert);
    DdxCheck(dx, IDC_BLANK_INVERT, m_bBlankInvert);
    DdxListIndex(dx, IDC_SCREEN, m_nScreen);
    DdxCheck(dx, IDC_LEFT_TO_RIGHT, m_bLeftToRight);
    DdxCheck(dx, IDC_ROW8_REVERSE, m_bRow8Reverse);
    DdxCheck(dx, IDC_EVEN_COL_REVERSE, m_bEvenColReverse);
    DdxCheck(dx, IDC_ODD_COL_REVERSE, m_bOddColReverse);
    DdxCheck(dx, IDC_ROW_SWAP, m_bRowSwap);
}

void CDravelDlg::OnInitDialog() {
    UpdateData(false);
    m_host.SetCaption(text::kMainCaption);

    m_host.ResetList(IDC_SCREEN);
    for (int n = 0; n < kScreenNumbers; ++n)
        m_host.AddListItem(IDC_SCREEN, Format(text::kScreenItemFormat, n));
    {
        CSettingsKey key;
        key.OpenKey(kProductKey);
        m_host.SetListSelection(IDC_SCREEN, key.ReadInt(kValueNumber, 0));
        key.Close();
    }

    m_bWarnPending = true;
    m_nTimer = m_host.StartTimer(kSearchTimerId, kSearchTimerPeriodMs);
    m_host.FocusItem(IDC_SEARCH);
    ShowStatus(kStatusInstructions);
}

void CDravelDlg::OnSearch() {
    UpdateData(true);
    m_nNumber = static_cast<std::uint8_t>(m_nScreen);
    m_nBaud = kFirstBaud;
    m_nPort = 1;
    m_bSearching = true;
    m_bCardFound = false;
    EnableSettings(false);
    m_host.EnableItem(IDC_SEARCH, false);
}

void CDravelDlg::OnTimer() {
    if (m_bWarnPending) {
        m_host.StopTimer(m_nTimer);
        m_nTimer = 0;
        if (m_host.RunWarningDialog()) {
            m_bWarnPending = false;
            m_nTimer = m_host.StartTimer(kSearchTimerId, kSearchTimerPeriodMs);
        } else {
            m_host.PostCloseRequest();
        }
        return;
    }
    if (!m_bSearching) return;

    m_nSpinner = ~m_nSpinner;
    ShowStatus(m_nSpinner != 0 ? kStatusSearching : kStatusSearchingTurned);

    switch (ProbeCard()) {
    case kPortUnusable:
        if (m_nPort == kLastPort) {
            EndSearch();
        } else {
            ++m_nPort;
            m_nBaud = kFirstBaud;
        }
        break;
    case kNoCard:
        if (const std::uint16_t next = NextSearchBaud(m_nBaud); next != 0) {
            m_nBaud = next;
        } else if (m_nPort == kLastPort) {
            EndSearch();
        } else {
            ++m_nPort;
            m_nBaud = kFirstBaud;
        }
        break;
    case kCardFound:
        m_bSearching = false;
        m_bCardFound = true;
        ShowStatus(kStatusFound);
        break;
    }
}

void CDravelDlg::EndSearch() {
    m_bSearching = false;
    m_host.EnableItem(IDC_SEARCH, true);
    ShowStatus(kStatusInstructions);
}

void CDravelDlg::ShowStatus(int kind) {
    std::string status;
    switch (kind) {
    case kStatusFound:
        status = Format(text::kStatusFoundFormat, m_nPort, m_nBaud, m_szType.c_str(),
                        m_szVersion.c_str(), m_nYear, m_nMonth, m_nDay);
        break;
    case kStatusSearching:
    case kStatusSearchingTurned:
        status = Format(text::kStatusSearchingFormat, m_nPort);
        if (kind == kStatusSearchingTurned) status.back() = '\\';
        break;
    default:
        status = text::kStatusInstructions;
        break;
    }
    m_host.SetItemText(IDC_STATUS, status);
}

int CDravelDlg::ProbeCard() {
    m_strProbeFailure.clear();
    if (!m_ctlLink.ComInitial(m_nPort, static_cast<short>(m_nBaud), kProbeWaitMs)) {
        m_strProbeFailure = m_ctlLink.LastLinkError();
        // A port that only refuses this speed (an adapter without 28800, say)
        // is not passed over: its card may run at one of the next speeds.
        return IsSpeedRefusal(m_strProbeFailure) ? kNoCard : kPortUnusable;
    }
    if (!m_ctlLink.SetLedProperty(m_nNumber, kProbeWidth, kProbeHeight)) {
        m_ctlLink.QKClose();
        return kPortUnusable;
    }
    BSTR reply = nullptr;
    if (!m_ctlLink.QKGetProperty(&reply)) {
        m_ctlLink.QKClose();
        return kNoCard;
    }
    const std::string text = PropertyTextFromBstr(reply);
    m_ctlLink.FreeString(reply); // made by the control's module, freed by it

    CardProperty card;
    if (!ParseCardProperty(text, card)) {
        m_ctlLink.QKClose();
        return kNoCard;
    }
    m_szType = text::kCardTypeD;
    m_szVersion = card.version;
    m_nYear = card.year;
    m_nMonth = card.month;
    m_nDay = card.day;
    m_nWidth = card.width;
    m_nHeight = card.height;
    m_nColor = card.color;
    m_nFlags = card.flags;

    EnableSettings(true);
    ShowSettings();
    SaveFoundCard();
    m_ctlLink.QKClose();
    return kCardFound;
}

void CDravelDlg::SaveFoundCard() {
    WriteSettings(kProductKey, {{kValueNumber, m_nNumber},
                                {kValueCommPort, m_nPort},
                                {kValueBaudRate, m_nBaud},
                                {kValueWidth, m_nWidth},
                                {kValueHeight, m_nHeight},
                                {kValueColor, m_nColor}});
}

void CDravelDlg::EnableSettings(bool on) {
    for (int id : kSettingControls)
        m_host.EnableItem(id, on);
    m_host.EnableItem(IDC_SEARCH, true);
}

void CDravelDlg::ShowSettings() {
    m_nModule = m_nColor;
    m_bLeftToRight = Bit(m_nFlags, 7);
    m_bBlankInvert = Bit(m_nFlags, 6);
    m_bDataInvert = Bit(m_nFlags, 5);
    m_bEvenColReverse = Bit(m_nFlags, 4);
    m_bOddColReverse = Bit(m_nFlags, 3);
    m_bRow8Reverse = Bit(m_nFlags, 2);
    m_bRowSwap = Bit(m_nFlags, 1);
    FillSizeLists();
}

void CDravelDlg::FillSizeList(int id, std::uint16_t& value, int limit, std::string& text) {
    m_host.ResetList(id);
    if (value > limit) value = static_cast<std::uint16_t>(limit);
    for (int size = 8; size <= limit; size += 8)
        m_host.AddListItem(id, Format(text::kSizeItemFormat, size));
    text = Format(text::kSizeItemFormat, value);
    m_host.SetListSelection(id, FindListPrefix(m_host, id, text));
}

void CDravelDlg::FillSizeLists() {
    FillSizeList(IDC_HEIGHT, m_nHeight, palvex::card::kMaxLedHeight, m_strHeight);
    FillSizeList(IDC_WIDTH, m_nWidth, palvex::card::kMaxLedWidth, m_strWidth);
    UpdateData(false);
}

void CDravelDlg::OnModuleClicked() {
    UpdateData(true);
    m_nColor = static_cast<std::uint8_t>(m_nModule);
}

void CDravelDlg::OnRButtonDblClk() {
    if (m_host.RunPasswordDialog()) m_host.RunForceSetupDialog();
}

void CDravelDlg::OnClose() {
    if (m_nTimer != 0) {
        m_host.StopTimer(m_nTimer);
        m_nTimer = 0;
    }
}

} // namespace dravel
