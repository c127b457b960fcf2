// Control state shared by every command, and the frame exchange built on it.
//
// CFrameProtocol owns the screen properties, the flags, the CRC table and the
// copy of the last frame. It builds frames, hands them to the active link
// through ILinkTransport, checks replies and retries. The link layer derives
// from it (through the command families) and supplies the transport.
#pragma once

#include "control/protocol/frame.h"
#include "control/protocol/transport.h"
#include "control/protocol/types.h"

#include <ctime>

class CFrameProtocol {
public:
    CFrameProtocol();
    virtual ~CFrameProtocol() = default;
    CFrameProtocol(const CFrameProtocol&) = delete;
    CFrameProtocol& operator=(const CFrameProtocol&) = delete;

    // Wraps payload[0..n) into a frame, stores a copy, sends it on the open
    // link and reads the reply whose length the command letter decides.
    // On success `payload` holds the reply text (hex for data replies); on
    // failure an empty text. Capture mode builds and stores only.
    // `payload` must hold max(n, 2N + 3, 7) bytes.
    BOOL ExchangeFrame(BYTE* payload, std::uint16_t n);

    // Completes the payload for a short command letter and exchanges it. For
    // the reading letters the reply text is copied into `data` (which must
    // hold 259 bytes for "V" and "W"). Only the low 8 bits of count count.
    BOOL ExecuteCommand(BYTE letter, BYTE* data, int count);

    // Automation methods owned by the exchange.
    BOOL SetCommTimeOut(short Seconds);
    void SetSendFlag(short SendOrNot);
    BOOL GetSendString(short* lpCount, short* lpRetBuff);

    // Hooks that are not part of the automation interface.
    void SetTraceSink(palvex::TraceSink sink, void* context) {
        m_pfnTrace = sink;
        m_pTraceContext = context;
    }
    // Local time source for the date and clock commands; tests pin it.
    using ClockFn = std::tm (*)(void* context);
    void SetClock(ClockFn fn, void* context) {
        m_pfnClock = fn;
        m_pClockContext = context;
    }

protected:
    // The transport of the open link, or nullptr when none is open.
    virtual palvex::ILinkTransport* ActiveTransport() = 0;
    std::tm LocalTime() const;

public:
    // Control state. Public so that the command families, the link layer and
    // tests read it under the names the whole code base uses.
    short m_nLedNum = 0;
    short m_nLedWidth = 0;
    short m_nLedHeight = 0;
    short m_nTotalPages = 0;
    short m_nSendSteps = 0;
    short m_nWaitTime = 0;
    std::uint8_t m_nLinkKind = 0; // 0 serial, 1 network, 2 modem
    BOOL m_bPropertySet = FALSE;
    BOOL m_bSendFlag = TRUE;
    BOOL m_bLinkOpen = FALSE;
    std::uint16_t m_crcTable[256];
    BYTE m_lastFrame[palvex::kLastFrameCapacity] = {};
    std::uint16_t m_nLastFrameLen = 0;

private:
    palvex::TraceSink m_pfnTrace = nullptr;
    void* m_pTraceContext = nullptr;
    ClockFn m_pfnClock = nullptr;
    void* m_pClockContext = nullptr;
};
