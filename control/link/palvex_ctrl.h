// The link control: one instance talks to one controller card over a serial
// line, a modem on a serial line, or a TCP connection.
//
// The control composes its parts: one private state (screen properties,
// flags, wait time), the frame exchange (last frame, CRC table, attempts),
// and the links. The exchange holds the open link as a transport; none means
// closed. The command families are methods of this class, implemented in
// control/commands.
#pragma once

#include "control/automation/oleauto.h"
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

    // The frame exchange and the automation methods it owns.
    BOOL ExchangeFrame(BYTE* payload, std::uint16_t n) {
        return m_exchange.ExchangeFrame(payload, n, m_state);
    }
    BOOL ExecuteCommand(BYTE letter, BYTE* data, int count) {
        return m_exchange.ExecuteCommand(letter, data, count, m_state);
    }
    BOOL SetCommTimeOut(short Seconds);
    void SetSendFlag(short SendOrNot);
    BOOL GetSendString(short* lpCount, short* lpRetBuff) {
        return m_exchange.GetSendString(lpCount, lpRetBuff, m_state);
    }

    // Configuration: screen properties and the card property block.
    BOOL SetLedProperty(short LedNum, short LedWidth, short LedHeight);
    BOOL QKGetProperty(BSTR* bStr);
    short GetVersion();
    BOOL QKSetup(LONG_PTR lpProperty);
    BOOL QKSetProperty(LONG_PTR lpProperty);

    // Content transfer: pictures, program list, font library, order list.
    short GetTotalPageNum();
    short GetSendStepNum();
    BOOL SendPicture(short ProgNum, short Step, LONG_PTR lpBuff);
    BOOL SendProgList(short TotalProgNum, LONG_PTR lpProgList);
    BOOL SendHZLib(short Steps, LONG_PTR lpLibFileName);
    BOOL SetOrderList(short count, LONG_PTR lptrList);

    // Display drawing in the card's two banks.
    BOOL ShowString(short bank, short xpos, short ypos, short color, LONG_PTR lpstr);
    BOOL Line(short bank, short left, short top, short right, short bottom, short color);
    BOOL SwitchToBank(short DestBank);
    BOOL ClearBank(short DestBank);
    BOOL CopyToBank(short DestBank);

    // Device control: clock, brightness, relays, temperature, self-test,
    // power checks, status record, reset, daily on/off times.
    BOOL SetTime();
    BOOL GetTime(LONG_PTR lpBuff);
    BOOL LockHZLib(short LockFlag);
    BOOL SetBrightness(short Brightness);
    BOOL SetCtrlTemperature(short TPowerOff, short TPowerOn, short TFanOn, short TFanOff,
                            short Enable);
    BOOL SetTemperatureOffset(short Offset);
    BOOL SetRelay(short Power, short Fan, short Other);
    BOOL StartTest();
    short GetTestState();
    BOOL GetTestResult(short color, short column, short* Resultx);
    BOOL GetPowerState(short* Resultx);
    BOOL ClearPowerCheckResult();
    BOOL GetAllResult(LONG_PTR lpPara, short Retry);
    BOOL Reset();
    BOOL SetOnOffTime(short On0, short Off0, short On1, short Off1);

    // Sizes of the caller buffers the methods above read.
    static constexpr int kPictureRowPitch = 512;
    static constexpr int kPictureBufferSize = 65536;
    static constexpr int kProgRecordSize = 8;
    static constexpr int kMaxProgEntries = 64;
    static constexpr int kFontBlockSize = 1024;
    static constexpr int kMaxOrderEntries = 99;
    static constexpr int kMaxTextLength = 1092;

    // What the link is doing, for hosts' diagnostics and for tests.
    bool IsLinkOpen() const { return m_exchange.LinkOpen(); }
    int LinkKind() const { return m_state.m_nLinkKind; }
    short WaitTime() const { return m_state.m_nWaitTime; }

    // The serial line itself: for hosts that speak to a modem beyond AT
    // commands (the "+++" escape has no line end) and for checks of the
    // line's own settings.
    palvex::CSerialLine& SerialLine() { return m_hComm; }

    // Hooks that are not part of the automation interface.
    void SetTraceSink(palvex::TraceSink sink, void* context) {
        m_exchange.SetTraceSink(sink, context);
    }
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
    // True when the stored screen size lies in 1..512 x 1..128, so a body
    // built from it stays inside the caller's picture buffer.
    bool GeometryValid() const;
    BOOL SendPropertyString(BYTE letter, LONG_PTR lpProperty);
    BOOL SendBankCommand(BYTE letter, short DestBank);
    BOOL SendShort(BYTE letter, const BYTE* data, int count);

    SControlState m_state;
    CExchange m_exchange;
    palvex::CSerialLine m_hComm;   // serial and modem lines
    palvex::CLinkSocket m_socket;  // network link
    palvex::CSocketTransport m_socketLink{m_socket};
    int m_nModemSlowWaitMs = 60000;
};

// The speeds a card may run at; BaudRate arrives as its 16-bit pattern.
bool IsSupportedBaudRate(unsigned baud);
