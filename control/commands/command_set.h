// The card's command families. Each method builds one payload (or hands a
// letter to the short-command executor) and reports the exchange's result.
// The set works on the control's state and exchange, which the control owns
// and lends it; it touches no link and knows no automation type.
#pragma once

#include "control/palvex_facts.h"
#include "control/protocol/control_state.h"
#include "control/protocol/exchange.h"
#include "control/protocol/types.h"

#include <cstddef>
#include <cstdint>

class CCommandSet {
  public:
    CCommandSet(SControlState& state, CExchange& exchange) : m_state(state), m_exchange(exchange) {}
    CCommandSet(const CCommandSet&) = delete;
    CCommandSet& operator=(const CCommandSet&) = delete;

    // Exchange settings that are automation methods of their own.
    BOOL SetCommTimeOut(short Seconds);
    void SetSendFlag(short SendOrNot);

    // Configuration: screen properties and the card property block. The
    // property text is the reply as upper-case hex (28 characters and the
    // terminator for a card's 13 bytes); `text` holds `size` bytes, at least
    // kPropertyTextCapacity. The automation layer makes the host's string
    // from it.
    static constexpr std::size_t kPropertyTextCapacity = 300;
    BOOL SetLedProperty(short LedNum, short LedWidth, short LedHeight);
    BOOL QKGetProperty(char* text, std::size_t size);
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
    static constexpr int kPictureRowPitch = palvex::card::kPictureRowPitch;
    static constexpr int kPictureBufferSize = palvex::card::kPictureBufferSize;
    static constexpr int kProgRecordSize = palvex::card::kProgRecordSize;
    static constexpr int kMaxProgEntries = palvex::card::kMaxProgEntries;
    static constexpr int kFontBlockSize = palvex::card::kFontBlockSize;
    static constexpr int kMaxOrderEntries = palvex::card::kMaxOrderEntries;
    static constexpr int kMaxTextLength = palvex::card::kMaxTextLength;

  private:
    BOOL ExchangeFrame(BYTE* payload, std::uint16_t n) {
        return m_exchange.ExchangeFrame(payload, n, m_state);
    }
    BOOL ExecuteCommand(BYTE letter, BYTE* data, int count) {
        return m_exchange.ExecuteCommand(letter, data, count, m_state);
    }
    // True when the stored screen size lies in 1..512 x 1..128, so a body
    // built from it stays inside the caller's picture buffer.
    bool GeometryValid() const;
    BOOL SendPropertyString(BYTE letter, LONG_PTR lpProperty);
    BOOL SendBankCommand(BYTE letter, short DestBank);
    BOOL SendShort(BYTE letter, const BYTE* data, int count);

    SControlState& m_state;
    CExchange& m_exchange;
};
