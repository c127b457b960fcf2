#include "control/protocol/frame_protocol.h"

#include "control/protocol/convert.h"
#include "control/protocol/crc16.h"
#include "control/protocol/reply.h"

#include <cstdio>
#include <cstring>

using namespace palvex;

namespace {

// Code the card expects after the "F" letter (start of the program list),
// followed by one zero byte.
constexpr BYTE kProgramStartCode[10] = {'P', 'R', 'O', 'G', 'R', 'A', 'M', 'R', 'U', 'N'};

bool IsReadingLetter(BYTE letter) { return IsDataReplyLetter(letter); }

// 0 to 99 for any year, also those before 2000.
int YearWithinCentury(const std::tm& t) { return ((t.tm_year + 1900) % 100 + 100) % 100; }

} // namespace

CFrameProtocol::CFrameProtocol() { FillCrcTable(m_crcTable); }

std::tm CFrameProtocol::LocalTime() const {
    if (m_pfnClock != nullptr) return m_pfnClock(m_pClockContext);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

BOOL CFrameProtocol::ExchangeFrame(BYTE* payload, std::uint16_t n) {
    if (!m_bPropertySet) return FALSE;
    // A payload that would not fit the stored copy is refused before anything
    // is built, so the copy can never be overrun.
    if (payload == nullptr || n < 1 || n > kMaxPayload) return FALSE;

    const BYTE letter = payload[0];
    const int replyCount = ExpectedReplyCount(letter, m_nLedHeight);
    // The frame is sent from this call's own buffer: a host callback that runs
    // while a network reply is awaited may start another exchange, which
    // replaces the stored copy, and a retry must still send this frame.
    BYTE frame[kLastFrameCapacity];
    const std::uint16_t frameLen =
        static_cast<std::uint16_t>(BuildFrame(m_crcTable, m_nLedNum, payload, n, frame));
    std::memcpy(m_lastFrame, frame, frameLen);
    m_nLastFrameLen = frameLen;
    BYTE ack[kAckCount];
    ExpectedAck(frame, ack);

    ILinkTransport* link = m_bLinkOpen ? ActiveTransport() : nullptr;
    if (link == nullptr) {
        if (!m_bLinkOpen && !m_bSendFlag) {
            payload[0] = 0; // captured: nothing to read back
            return TRUE;
        }
        return FALSE;
    }

    // The screen height decides the length of a "W" reply, so a 5-row screen
    // gives an acknowledgement-sized reply that is still data: the letter,
    // not the length, says which check applies.
    const BYTE* expected = IsDataReplyLetter(letter) ? nullptr : ack;
    const std::size_t want = static_cast<std::size_t>(replyCount) + 1;
    BYTE reply[kReplyBufferSize];
    const int attempts = link->MaxAttempts();
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        link->Purge();
        const bool written = link->Write(frame, frameLen);
        if (m_pfnTrace != nullptr)
            m_pfnTrace(m_pTraceContext,
                       TraceEvent{link->Describe(), attempt, attempts, true, frame,
                                  written ? std::size_t{frameLen} : std::size_t{0}, frameLen});
        if (!written) continue;
        const std::size_t got = link->ReadExact(reply, want, m_nWaitTime);
        if (m_pfnTrace != nullptr)
            m_pfnTrace(m_pTraceContext,
                       TraceEvent{link->Describe(), attempt, attempts, false, reply, got, want});
        if (got != want) continue;
        reply[want] = 0;
        if (CheckReply(static_cast<int>(want), reply, expected)) {
            if (expected == nullptr) {
                // Text of N bytes plus the trailing zero byte, and its terminator.
                std::memcpy(payload, reply, 2 * want + 1);
            } else {
                // The raw acknowledgement up to its first zero byte.
                std::size_t i = 0;
                for (; i < want && reply[i] != 0; ++i) payload[i] = reply[i];
                payload[i] = 0;
            }
            return TRUE;
        }
    }
    payload[0] = 0;
    return FALSE;
}

BOOL CFrameProtocol::ExecuteCommand(BYTE letter, BYTE* data, int count) {
    BYTE payload[300];
    const int c = count & 0xFF;
    if (c > 0 && data == nullptr) return FALSE;
    payload[0] = letter;
    if (c > 0) std::memcpy(payload + 1, data, static_cast<std::size_t>(c));

    std::uint16_t length = 0;
    switch (letter) {
    case 'A':
    case 'E':
    case 'U':
    case 'X':
    case 'Y':
    case 'Z': length = 1; break;
    case 'B': {
        // Production date: "%04d%02d%02d" read pairwise as hex digits, which
        // turns the decimal digits into BCD bytes.
        const std::tm now = LocalTime();
        char digits[32];
        std::snprintf(digits, sizeof digits, "%04d%02d%02d", now.tm_year + 1900, now.tm_mon + 1,
                      now.tm_mday);
        for (int i = 0; i < 4; ++i)
            payload[1 + c + i] = HexPairToByte(digits[2 * i], digits[2 * i + 1]);
        length = static_cast<std::uint16_t>(c + 5);
        break;
    }
    case 'D': {
        const std::tm now = LocalTime();
        // The card keeps the year within its century: 2106 is sent as 06.
        payload[1] = ByteToBcd(static_cast<std::uint8_t>(YearWithinCentury(now)));
        payload[2] = ByteToBcd(static_cast<std::uint8_t>(now.tm_mon + 1));
        payload[3] = ByteToBcd(static_cast<std::uint8_t>(now.tm_mday));
        payload[4] = ByteToBcd(static_cast<std::uint8_t>(now.tm_hour));
        payload[5] = ByteToBcd(static_cast<std::uint8_t>(now.tm_min));
        payload[6] = ByteToBcd(static_cast<std::uint8_t>(now.tm_wday));
        payload[7] = ByteToBcd(static_cast<std::uint8_t>(now.tm_sec));
        length = 8;
        break;
    }
    case 'F':
        std::memcpy(payload + 1, kProgramStartCode, sizeof kProgramStartCode);
        payload[11] = 0;
        length = 12;
        break;
    case 'C':
    case 'O':
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
    case 'T':
    case 'V':
    case 'W':
    case 'w':
    case 'x':
    case 'y': length = static_cast<std::uint16_t>(c + 1); break;
    default: return FALSE;
    }

    const BOOL ok = ExchangeFrame(payload, length);
    if (IsReadingLetter(letter) && data != nullptr) {
        if (ok)
            std::strcpy(reinterpret_cast<char*>(data), reinterpret_cast<const char*>(payload));
        else
            data[0] = 0;
    }
    return ok;
}

BOOL CFrameProtocol::SetCommTimeOut(short Seconds) {
    int s = Seconds;
    if (s < 5) s = 5;
    if (s > 99) s = 99;
    BYTE b = static_cast<BYTE>(s);
    return ExecuteCommand('w', &b, 1);
}

void CFrameProtocol::SetSendFlag(short SendOrNot) {
    if (SendOrNot == 0) m_bSendFlag = FALSE;
}

BOOL CFrameProtocol::GetSendString(short* lpCount, short* lpRetBuff) {
    if (!m_bPropertySet) return FALSE;
    if (lpCount == nullptr || (lpRetBuff == nullptr && m_nLastFrameLen > 0)) return FALSE;
    for (std::uint16_t i = 0; i < m_nLastFrameLen; ++i)
        lpRetBuff[i] = static_cast<short>(m_lastFrame[i]);
    *lpCount = static_cast<short>(m_nLastFrameLen);
    return TRUE;
}
