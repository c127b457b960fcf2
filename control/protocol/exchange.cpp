#include "control/protocol/exchange.h"

#include "control/protocol/convert.h"
#include "control/protocol/crc16.h"
#include "control/protocol/reply.h"
#include "control/protocol/system_calls.h"

#include <cstdio>
#include <cstring>

using namespace palvex;

namespace {

// Code the card expects after the "F" letter (start of the program list),
// followed by one zero byte.
constexpr BYTE kProgramStartCode[10] = {'P', 'R', 'O', 'G', 'R', 'A', 'M', 'R', 'U', 'N'};

bool IsReadingLetter(BYTE letter) {
    return IsDataReplyLetter(letter);
}

// 0 to 99 for any year, also those before 2000.
int YearWithinCentury(const std::tm& t) {
    return ((t.tm_year + 1900) % 100 + 100) % 100;
}

} // namespace

CExchange::CExchange() {
    FillCrcTable(m_crcTable);
}

std::tm CExchange::LocalTime() const {
    if (m_pfnClock != nullptr) return m_pfnClock(m_pClockContext);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    LocalTimeOf(now, local);
    return local;
}

void CExchange::ClearLinkError() {
    m_lastLinkError = {};
    m_lastLinkDetail.clear();
    m_lastLinkText.clear();
}

void CExchange::ReportLinkError(const char* link, LinkOperation op, const LinkError& error,
                                const char* detail, int attempt, int maxAttempts) {
    if (!error.Failed()) return;
    m_lastLinkError = error;
    m_lastLinkDetail = detail != nullptr ? detail : "";
    m_lastLinkText = LinkFailureText(link, op, error, detail, attempt, maxAttempts);
    if (m_pfnTrace != nullptr)
        m_pfnTrace(m_pTraceContext,
                   TraceEvent{link, attempt, maxAttempts, false, nullptr, 0, 0, 0, op, error,
                              m_lastLinkDetail.empty() ? nullptr : m_lastLinkDetail.c_str()});
}

BOOL CExchange::ExchangeFrame(BYTE* payload, std::uint16_t n, const SControlState& state) {
    if (!state.m_bPropertySet) return FALSE;
    // A payload that would not fit the stored copy is refused before anything
    // is built, so the copy can never be overrun.
    if (payload == nullptr || n < 1 || n > kMaxPayload) return FALSE;

    const BYTE letter = payload[0];
    const int replyCount = ExpectedReplyCount(letter, state.m_nLedHeight);
    // The frame is sent from this call's own buffer: a host callback that runs
    // while a network reply is awaited may start another exchange, which
    // replaces the stored copy, and a retry must still send this frame.
    BYTE frame[kLastFrameCapacity];
    const std::uint16_t frameLen =
        static_cast<std::uint16_t>(BuildFrame(m_crcTable, state.m_nLedNum, payload, n, frame));
    std::memcpy(m_lastFrame, frame, frameLen);
    m_nLastFrameLen = frameLen;
    BYTE ack[kAckCount];
    ExpectedAck(frame, ack);

    ILinkTransport* const link = m_pLink;
    if (link == nullptr) {
        if (!state.m_bSendFlag) {
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
                                  written ? std::size_t{frameLen} : std::size_t{0}, frameLen, 0,
                                  LinkOperation::None, LinkError{}, nullptr});
        if (!written) {
            ReportLinkError(link->Describe(), LinkOperation::Write, link->LastError(), nullptr,
                            attempt, attempts);
            continue;
        }
        // One deadline per attempt: the line's time for each reply byte plus
        // the wait time, counted from the end of the write.
        const std::int64_t allowedMs =
            static_cast<std::int64_t>(link->PerByteMs()) * static_cast<std::int64_t>(want) +
            state.m_nWaitTime;
        const std::size_t got = link->ReadExact(reply, want, CDeadline(allowedMs));
        if (m_pfnTrace != nullptr)
            m_pfnTrace(m_pTraceContext,
                       TraceEvent{link->Describe(), attempt, attempts, false, reply, got, want,
                                  allowedMs, LinkOperation::None, LinkError{}, nullptr});
        if (got != want) {
            ReportLinkError(link->Describe(), LinkOperation::Read, link->LastError(), nullptr,
                            attempt, attempts);
            continue;
        }
        reply[want] = 0;
        if (CheckReply(static_cast<int>(want), reply, expected)) {
            if (expected == nullptr) {
                // Text of N bytes plus the trailing zero byte, and its terminator.
                std::memcpy(payload, reply, 2 * want + 1);
            } else {
                // The raw acknowledgement up to its first zero byte.
                std::size_t i = 0;
                for (; i < want && reply[i] != 0; ++i)
                    payload[i] = reply[i];
                payload[i] = 0;
            }
            return TRUE;
        }
    }
    payload[0] = 0;
    return FALSE;
}

BOOL CExchange::ExecuteCommand(BYTE letter, BYTE* data, int count, const SControlState& state) {
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
    case 'Z':
        length = 1;
        break;
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
    case 'y':
        length = static_cast<std::uint16_t>(c + 1);
        break;
    default:
        return FALSE;
    }

    const BOOL ok = ExchangeFrame(payload, length, state);
    if (IsReadingLetter(letter) && data != nullptr) {
        if (ok)
            std::strcpy(reinterpret_cast<char*>(data), reinterpret_cast<const char*>(payload));
        else
            data[0] = 0;
    }
    return ok;
}

BOOL CExchange::GetSendString(short* lpCount, short* lpRetBuff, const SControlState& state) const {
    if (!state.m_bPropertySet) return FALSE;
    if (lpCount == nullptr || (lpRetBuff == nullptr && m_nLastFrameLen > 0)) return FALSE;
    for (std::uint16_t i = 0; i < m_nLastFrameLen; ++i)
        lpRetBuff[i] = static_cast<short>(m_lastFrame[i]);
    *lpCount = static_cast<short>(m_nLastFrameLen);
    return TRUE;
}
