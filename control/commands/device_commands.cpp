#include "control/commands/command_set.h"

#include "control/protocol/convert.h"

#include <cstdio>
#include <cstring>

namespace {

// Data byte i of a reply text: the digit pair at positions 2i and 2i + 1.
std::uint8_t ReplyByte(const BYTE* text, int i) {
    return HexPairToByte(static_cast<char>(text[2 * i]), static_cast<char>(text[2 * i + 1]));
}

short Signed(std::uint8_t b) { return static_cast<std::int8_t>(b); }

} // namespace

BOOL CCommandSet::SendShort(BYTE letter, const BYTE* data, int count) {
    BYTE copy[8] = {};
    if (count > 0) std::memcpy(copy, data, static_cast<std::size_t>(count));
    return ExecuteCommand(letter, copy, count);
}

BOOL CCommandSet::SetTime() { return ExecuteCommand('D', nullptr, 0); }

BOOL CCommandSet::GetTime(LONG_PTR lpBuff) {
    auto* out = reinterpret_cast<short*>(lpBuff);
    if (out == nullptr) return FALSE;
    BYTE text[300];
    if (!ExecuteCommand('E', text, 0)) return FALSE;
    if (text[0] == 0) return TRUE; // captured: nothing to decode
    short values[6];
    for (int i = 0; i < 6; ++i)
        values[i] = DigitPairToNumber(static_cast<char>(text[2 * i]), static_cast<char>(text[2 * i + 1]));
    values[0] = static_cast<short>(values[0] + 2000);
    std::memcpy(out, values, sizeof values);
    return TRUE;
}

BOOL CCommandSet::LockHZLib(short LockFlag) {
    const BYTE b = LockFlag != 0 ? 0x55 : 0x00;
    return SendShort('O', &b, 1);
}

BOOL CCommandSet::SetBrightness(short Brightness) {
    const BYTE b = static_cast<BYTE>(Brightness & 0xFF);
    return SendShort('P', &b, 1);
}

BOOL CCommandSet::SetCtrlTemperature(short TPowerOff, short TPowerOn, short TFanOn, short TFanOff,
                                     short Enable) {
    const BYTE b[5] = {static_cast<BYTE>(TPowerOff & 0xFF), static_cast<BYTE>(TPowerOn & 0xFF),
                       static_cast<BYTE>(TFanOn & 0xFF), static_cast<BYTE>(TFanOff & 0xFF),
                       static_cast<BYTE>(Enable & 0xFF)};
    return SendShort('Q', b, 5);
}

BOOL CCommandSet::SetTemperatureOffset(short Offset) {
    const BYTE b = static_cast<BYTE>(Offset & 0xFF);
    return SendShort('R', &b, 1);
}

BOOL CCommandSet::SetRelay(short Power, short Fan, short Other) {
    const BYTE b[3] = {static_cast<BYTE>(Power & 1), static_cast<BYTE>(Fan & 1),
                       static_cast<BYTE>(Other & 1)};
    return SendShort('S', b, 3);
}

BOOL CCommandSet::StartTest() { return ExecuteCommand('T', nullptr, 0); }

short CCommandSet::GetTestState() {
    BYTE text[300];
    if (!ExecuteCommand('U', text, 0)) return 9999;
    if (std::strlen(reinterpret_cast<const char*>(text)) != 4) return 1;
    return Signed(ReplyByte(text, 0));
}

BOOL CCommandSet::GetTestResult(short color, short column, short* Resultx) {
    if (Resultx == nullptr) return FALSE;
    BYTE text[300];
    text[0] = static_cast<BYTE>((color * 64 + column) & 0xFF);
    if (!ExecuteCommand('W', text, 1)) return FALSE;
    if (text[0] == 0) return TRUE; // captured: nothing to decode
    for (int i = 0; i < m_state.m_nLedHeight; ++i) Resultx[i] = ReplyByte(text, i);
    return TRUE;
}

BOOL CCommandSet::GetPowerState(short* Resultx) {
    if (Resultx == nullptr) return FALSE;
    BYTE text[300];
    if (!ExecuteCommand('V', text, 0)) return FALSE;
    if (text[0] == 0) return TRUE;
    for (int i = 0; i < 128; ++i) Resultx[i] = ReplyByte(text, i);
    return TRUE;
}

BOOL CCommandSet::ClearPowerCheckResult() { return ExecuteCommand('X', nullptr, 0); }

BOOL CCommandSet::GetAllResult(LONG_PTR lpPara, short /*Retry*/) {
    // Retry does not change the exchange: the link's own attempt count holds.
    auto* out = reinterpret_cast<short*>(lpPara);
    if (out == nullptr) return FALSE;
    BYTE text[300];
    if (!ExecuteCommand('Y', text, 0)) return FALSE;
    if (text[0] == 0) return TRUE;
    std::uint8_t data[15];
    for (int i = 0; i < 15; ++i) data[i] = ReplyByte(text, i);
    std::uint8_t sum = 0;
    for (int i = 0; i < 14; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    if (sum != data[14]) return FALSE;
    short record[13];
    for (int i = 0; i < 4; ++i) record[i] = Signed(data[i]);
    record[4] = static_cast<short>(data[4] * 256 + data[5]);
    for (int i = 5; i < 13; ++i) record[i] = Signed(data[i + 1]);
    std::memcpy(out, record, sizeof record);
    return TRUE;
}

BOOL CCommandSet::Reset() { return ExecuteCommand('Z', nullptr, 0); }

BOOL CCommandSet::SetOnOffTime(short On0, short Off0, short On1, short Off1) {
    if (Off0 == 2400) Off0 = 2359;
    if (Off1 == 2400) Off1 = 2359;
    // Four digits per value, read back two at a time as hex pairs: BCD.
    char digits[64];
    std::snprintf(digits, sizeof digits, "%04d%04d%04d%04d", On0, Off0, On1, Off1);
    BYTE b[8];
    for (int i = 0; i < 8; ++i) b[i] = HexPairToByte(digits[2 * i], digits[2 * i + 1]);
    return ExecuteCommand('y', b, 8);
}

BOOL CCommandSet::SetCommTimeOut(short Seconds) {
    int s = Seconds;
    if (s < 5) s = 5;
    if (s > 99) s = 99;
    BYTE b = static_cast<BYTE>(s);
    return ExecuteCommand('w', &b, 1);
}

void CCommandSet::SetSendFlag(short SendOrNot) {
    if (SendOrNot == 0) m_state.m_bSendFlag = FALSE;
}
