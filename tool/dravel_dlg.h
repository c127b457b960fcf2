// CDravelDlg: the logic of the main dialog. It searches COM1 to COM8 at the
// five speeds for a D-type card, one probe per timer tick, shows what it
// found, loads the card's screen settings into the controls and writes the
// edited settings back (OnConfigure). The first tick runs the warning gate.
//
// The dialog on screen (or in memory) is reached only through the host; the
// card only through the proxy m_ctlLink.
#pragma once

#include "tool/dialog_exchange.h"
#include "tool/dialog_view.h"
#include "tool/palvex_proxy.h"

#include <cstdint>
#include <memory>
#include <string>

namespace dravel {

// What the status box shows.
enum StatusKind {
    kStatusInstructions = 0,
    kStatusFound = 1,
    kStatusSearching = 2,
    kStatusSearchingTurned = 3
};

// Result of one probe.
enum ProbeResult { kPortUnusable = -1, kNoCard = 0, kCardFound = 1 };

class CDravelDlg : private CDialogData {
  public:
    CDravelDlg(IMainDialogHost& host, std::unique_ptr<IHostedControl> link);

    // Handlers of the dialog's events.
    void OnInitDialog();
    void OnTimer();
    void OnSearch();
    // Returns true when the card took the settings (the host may ignore it).
    bool OnConfigure();
    void OnModuleClicked();
    void OnRButtonDblClk();
    void OnClose();

    bool IsSearching() const { return m_bSearching; }
    bool IsWarnPending() const { return m_bWarnPending; }
    // The last search ended with a card found.
    bool CardFound() const { return m_bCardFound; }
    // Why the last probe could not open its port, in the control's English
    // text; "" when the port opened (or the control did not say).
    const std::string& ProbeFailure() const { return m_strProbeFailure; }

    // Dialog data, exchanged with the controls.
    std::string m_strWidth;
    std::string m_strHeight;
    int m_nModule = -1;
    bool m_bDataInvert = false;
    bool m_bBlankInvert = false;
    int m_nScreen = -1;
    bool m_bLeftToRight = false;
    bool m_bRow8Reverse = false;
    bool m_bEvenColReverse = false;
    bool m_bOddColReverse = false;
    bool m_bRowSwap = false;

    // The card that was found, and what the configure step sends.
    std::string m_szType;
    std::string m_szVersion;
    std::uint8_t m_nPort = 1;
    std::uint16_t m_nBaud = 28800;
    std::uint16_t m_nWidth = 0;
    std::uint16_t m_nHeight = 0;
    std::uint8_t m_nColor = 0;
    std::uint8_t m_nFlags = 0;
    std::uint8_t m_nNumber = 0;
    std::uint16_t m_nYear = 0;
    std::uint8_t m_nMonth = 0;
    std::uint8_t m_nDay = 0;

  private:
    void DoDataExchange(CDataExchange& dx) override;

    void ShowStatus(int kind);
    int ProbeCard();
    void EndSearch();
    void EnableSettings(bool on);
    void ShowSettings();
    void FillSizeLists();
    void FillSizeList(int id, std::uint16_t& value, int limit, std::string& text);
    void CollectSettings();
    void SaveFoundCard();

    IMainDialogHost& m_host;
    CPalvex m_ctlLink;

    bool m_bSearching = false;
    bool m_bWarnPending = false;
    bool m_bCardFound = false;
    std::string m_strProbeFailure;
    unsigned m_nTimer = 0;
    // Turned (bitwise NOT) on every search tick; picks the spinner character.
    std::uint32_t m_nSpinner = 0;
};

// Speed tried after `baud` on the same port, 0 after the last one:
// 28800, 38400, 57600, 9600, 14400.
std::uint16_t NextSearchBaud(std::uint16_t baud);

// The flags byte of the wiring check boxes, bit 7 down to bit 1.
std::uint8_t PackWiringFlags(bool leftToRight, bool blankInvert, bool dataInvert,
                             bool evenColReverse, bool oddColReverse, bool row8Reverse,
                             bool rowSwap);

} // namespace dravel
