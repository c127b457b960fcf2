#include "control/commands/command_set.h"

#include <cstring>

namespace {

void PutWord(BYTE* at, short v) {
    const auto u = static_cast<std::uint16_t>(v);
    at[0] = static_cast<BYTE>(u >> 8);
    at[1] = static_cast<BYTE>(u & 0xFF);
}

} // namespace

BOOL CCommandSet::ShowString(short bank, short xpos, short ypos, short color, LONG_PTR lpstr) {
    const char* text = reinterpret_cast<const char*>(lpstr);
    if (text == nullptr) return FALSE;
    // Look no further than one byte past the longest text the body can hold.
    const std::size_t len = strnlen(text, kMaxTextLength + 1);
    if (len > static_cast<std::size_t>(kMaxTextLength)) return FALSE;
    BYTE body[8 + kMaxTextLength];
    body[0] = 'J';
    body[1] = static_cast<BYTE>(bank & 0xFF);
    PutWord(body + 2, xpos);
    PutWord(body + 4, ypos);
    body[6] = static_cast<BYTE>(color & 0xFF);
    std::memcpy(body + 7, text, len);
    body[7 + len] = 0;
    return ExchangeFrame(body, static_cast<std::uint16_t>(len + 8));
}

BOOL CCommandSet::Line(short bank, short left, short top, short right, short bottom, short color) {
    if (left != right && top != bottom) return FALSE; // only along a row or a column
    const short x1 = left < right ? left : right;
    const short x2 = left < right ? right : left;
    const short y1 = top < bottom ? top : bottom;
    const short y2 = top < bottom ? bottom : top;
    BYTE body[11];
    body[0] = 'K';
    body[1] = static_cast<BYTE>(bank & 0xFF);
    PutWord(body + 2, x1);
    PutWord(body + 4, y1);
    PutWord(body + 6, x2);
    PutWord(body + 8, y2);
    body[10] = static_cast<BYTE>(color & 7);
    return ExchangeFrame(body, sizeof body);
}

BOOL CCommandSet::SendBankCommand(BYTE letter, short DestBank) {
    // Two bytes are sent, but the exchange writes the acknowledgement back
    // into the payload buffer (up to 7 bytes with its terminator), so the
    // buffer has room for that.
    BYTE body[7] = {letter, static_cast<BYTE>(DestBank & 1)};
    return ExchangeFrame(body, 2);
}

BOOL CCommandSet::SwitchToBank(short DestBank) { return SendBankCommand('L', DestBank); }

BOOL CCommandSet::CopyToBank(short DestBank) { return SendBankCommand('M', DestBank); }

BOOL CCommandSet::ClearBank(short DestBank) { return SendBankCommand('N', DestBank); }
