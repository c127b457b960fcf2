// The card's command families as methods of the control. Each method builds
// one payload (or hands a letter to ExecuteCommand) and reports the exchange's
// result; none of them touches a link directly.
#pragma once

#include "control/automation/oleauto.h"
#include "control/protocol/frame_protocol.h"

class CCommandSet : public CFrameProtocol {
public:
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

protected:
    // True when the stored screen size lies in 1..512 x 1..128, so a body
    // built from it stays inside the caller's picture buffer.
    bool GeometryValid() const;

private:
    BOOL SendPropertyString(BYTE letter, LONG_PTR lpProperty);
    BOOL SendBankCommand(BYTE letter, short DestBank);
    BOOL SendShort(BYTE letter, const BYTE* data, int count);
};
