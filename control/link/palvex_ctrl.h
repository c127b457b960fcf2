// The link control: one instance talks to one controller card over a serial
// line, a modem on a serial line, or a TCP connection.
//
// The control composes its parts: one private state (screen properties,
// flags, wait time), the frame exchange (last frame, CRC table, attempts),
// and the links. The exchange holds the open link as a transport; none means
// closed. The command families live in the command set (control/commands),
// which works on the state and the exchange that the control lends it; the
// control forwards them, so hosts and the dispatch table call one object.
#pragma once

#include "control/commands/command_set.h"
#include "control/link/link_socket.h"
#include "control/link/serial_line.h"
#include "control/protocol/control_state.h"
#include "control/protocol/exchange.h"

class CPalvexCtrl {
  public:
    CPalvexCtrl();
    ~CPalvexCtrl();
    CPalvexCtrl(const CPalvexCtrl&) = delete;
    CPalvexCtrl& operator=(const CPalvexCtrl&) = delete;

    // Automation methods of the link.
    BOOL ComInitial(short ComPort, short BaudRate, short WaitTime);
    BOOL NetInitial(short LocalPort, std::int32_t RemoteIP, short RemotePort, short WaitTime);
    BOOL ModemInitial(short ModemPort, short WaitTime);
    BOOL SendModemCmd(LONG_PTR lpCmdStr, LONG_PTR lpRetStr);
    void QKClose();

    // The frame exchange, for the hosts that build their own payloads.
    BOOL ExchangeFrame(BYTE* payload, std::uint16_t n) {
        return m_exchange.ExchangeFrame(payload, n, m_state);
    }
    BOOL ExecuteCommand(BYTE letter, BYTE* data, int count) {
        return m_exchange.ExecuteCommand(letter, data, count, m_state);
    }
    BOOL GetSendString(short* lpCount, short* lpRetBuff) {
        return m_exchange.GetSendString(lpCount, lpRetBuff, m_state);
    }

    // The command families, carried out by the command set on this
    // control's state and exchange.
    BOOL SetCommTimeOut(short Seconds) { return m_commands.SetCommTimeOut(Seconds); }
    void SetSendFlag(short SendOrNot) { m_commands.SetSendFlag(SendOrNot); }
    BOOL SetLedProperty(short LedNum, short LedWidth, short LedHeight) {
        return m_commands.SetLedProperty(LedNum, LedWidth, LedHeight);
    }
    BOOL QKGetProperty(char* text, std::size_t size) {
        return m_commands.QKGetProperty(text, size);
    }
    short GetVersion() { return m_commands.GetVersion(); }
    BOOL QKSetup(LONG_PTR lpProperty) { return m_commands.QKSetup(lpProperty); }
    BOOL QKSetProperty(LONG_PTR lpProperty) { return m_commands.QKSetProperty(lpProperty); }
    short GetTotalPageNum() { return m_commands.GetTotalPageNum(); }
    short GetSendStepNum() { return m_commands.GetSendStepNum(); }
    BOOL SendPicture(short ProgNum, short Step, LONG_PTR lpBuff) {
        return m_commands.SendPicture(ProgNum, Step, lpBuff);
    }
    BOOL SendProgList(short TotalProgNum, LONG_PTR lpProgList) {
        return m_commands.SendProgList(TotalProgNum, lpProgList);
    }
    BOOL SendHZLib(short Steps, LONG_PTR lpLibFileName) {
        return m_commands.SendHZLib(Steps, lpLibFileName);
    }
    BOOL SetOrderList(short count, LONG_PTR lptrList) {
        return m_commands.SetOrderList(count, lptrList);
    }
    BOOL ShowString(short bank, short xpos, short ypos, short color, LONG_PTR lpstr) {
        return m_commands.ShowString(bank, xpos, ypos, color, lpstr);
    }
    BOOL Line(short bank, short left, short top, short right, short bottom, short color) {
        return m_commands.Line(bank, left, top, right, bottom, color);
    }
    BOOL SwitchToBank(short DestBank) { return m_commands.SwitchToBank(DestBank); }
    BOOL ClearBank(short DestBank) { return m_commands.ClearBank(DestBank); }
    BOOL CopyToBank(short DestBank) { return m_commands.CopyToBank(DestBank); }
    BOOL SetTime() { return m_commands.SetTime(); }
    BOOL GetTime(LONG_PTR lpBuff) { return m_commands.GetTime(lpBuff); }
    BOOL LockHZLib(short LockFlag) { return m_commands.LockHZLib(LockFlag); }
    BOOL SetBrightness(short Brightness) { return m_commands.SetBrightness(Brightness); }
    BOOL SetCtrlTemperature(short TPowerOff, short TPowerOn, short TFanOn, short TFanOff,
                            short Enable) {
        return m_commands.SetCtrlTemperature(TPowerOff, TPowerOn, TFanOn, TFanOff, Enable);
    }
    BOOL SetTemperatureOffset(short Offset) { return m_commands.SetTemperatureOffset(Offset); }
    BOOL SetRelay(short Power, short Fan, short Other) {
        return m_commands.SetRelay(Power, Fan, Other);
    }
    BOOL StartTest() { return m_commands.StartTest(); }
    short GetTestState() { return m_commands.GetTestState(); }
    BOOL GetTestResult(short color, short column, short* Resultx) {
        return m_commands.GetTestResult(color, column, Resultx);
    }
    BOOL GetPowerState(short* Resultx) { return m_commands.GetPowerState(Resultx); }
    BOOL ClearPowerCheckResult() { return m_commands.ClearPowerCheckResult(); }
    BOOL GetAllResult(LONG_PTR lpPara, short Retry) {
        return m_commands.GetAllResult(lpPara, Retry);
    }
    BOOL Reset() { return m_commands.Reset(); }
    BOOL SetOnOffTime(short On0, short Off0, short On1, short Off1) {
        return m_commands.SetOnOffTime(On0, Off0, On1, Off1);
    }

    // Sizes of the caller buffers the methods above read.
    static constexpr int kPictureRowPitch = CCommandSet::kPictureRowPitch;
    static constexpr int kPictureBufferSize = CCommandSet::kPictureBufferSize;
    static constexpr int kProgRecordSize = CCommandSet::kProgRecordSize;
    static constexpr int kMaxProgEntries = CCommandSet::kMaxProgEntries;
    static constexpr int kFontBlockSize = CCommandSet::kFontBlockSize;
    static constexpr int kMaxOrderEntries = CCommandSet::kMaxOrderEntries;
    static constexpr int kMaxTextLength = CCommandSet::kMaxTextLength;
    static constexpr std::size_t kPropertyTextCapacity = CCommandSet::kPropertyTextCapacity;

    // What the link is doing, for hosts' diagnostics and for tests.
    bool IsLinkOpen() const { return m_exchange.LinkOpen(); }
    int LinkKind() const { return m_state.m_nLinkKind; }
    short WaitTime() const { return m_state.m_nWaitTime; }
    // What the reading methods write in the present state: the screen height
    // (GetTestResult, one element per row) and the last frame's length
    // (GetSendString, one element per byte).
    short LedHeight() const { return m_state.m_nLedHeight; }
    std::size_t LastFrameLength() const { return m_exchange.LastFrameLength(); }
    // Why the link last failed: an open refused (the open methods start
    // afresh with none), or a write or read of an exchange that fell short.
    // The trace sink is told each one as it happens. The text is the one
    // the trace prints (LinkFailureText), with the detail that names the
    // device and the fix; "" when there was no failure.
    palvex::LinkError LastLinkError() const { return m_exchange.LastLinkError(); }
    const std::string& LastLinkErrorText() const { return m_exchange.LastLinkErrorText(); }

    // The serial line itself: for hosts that speak to a modem beyond AT
    // commands (the "+++" escape has no line end) and for checks of the
    // line's own settings.
    palvex::CSerialLine& SerialLine() { return m_hComm; }

    // Hooks that are not part of the automation interface.
    // The host's trace sink (null: none). It hears every frame, reply and
    // link failure beside the standard error trace that PALVEX_TRACE turns
    // on when the control is made.
    void SetTraceSink(palvex::TraceSink sink, void* context);
    // Local time source for the date and clock commands; tests pin it.
    void SetClock(CExchange::ClockFn fn, void* context) { m_exchange.SetClock(fn, context); }
    // How long a command the modem has only echoed may take to answer, in
    // milliseconds (a minute; tests shorten it).
    void SetModemSlowCommandWait(int ms) { m_nModemSlowWaitMs = ms; }
    // Host hook: runs during every network wait, so a graphical host can keep
    // its window alive while the control waits for a card.
    void SetIdleCallback(palvex::IdleCallback fn, void* context) {
        m_socket.SetIdleCallback(fn, context);
    }
    // Opens a link over a transport that the caller owns and keeps alive until
    // QKClose: a channel of the host's own, a scripted card in tests. Counts
    // as a serial link (kind 0) with the given wait time, at least 100 ms.
    // FALSE while a link is open.
    BOOL AttachTransport(palvex::ILinkTransport* link, short WaitTime);

  private:
    void RouteTrace();
    static void Trace(void* self, const palvex::TraceEvent& event);

    SControlState m_state;
    CExchange m_exchange;
    CCommandSet m_commands{m_state, m_exchange};
    palvex::CSerialLine m_hComm;  // serial and modem lines
    palvex::CLinkSocket m_socket; // network link
    palvex::CSocketTransport m_socketLink{m_socket};
    int m_nModemSlowWaitMs = 60000;
    bool m_bTraceToStderr = false; // PALVEX_TRACE
    palvex::TraceSink m_pfnHostTrace = nullptr;
    void* m_pHostTraceContext = nullptr;
};

// The speeds a card may run at; BaudRate arrives as its 16-bit pattern.
bool IsSupportedBaudRate(unsigned baud);
