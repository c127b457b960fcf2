// The frame exchange: builds a frame from a payload, keeps a copy of the last
// one, hands it to the open link through ILinkTransport, checks the reply and
// retries. It holds the link only as a transport pointer; a null transport
// means that no link is open.
#pragma once

#include "control/protocol/control_state.h"
#include "control/protocol/frame.h"
#include "control/protocol/transport.h"
#include "control/protocol/types.h"

#include <ctime>
#include <string>

class CExchange {
  public:
    CExchange();
    CExchange(const CExchange&) = delete;
    CExchange& operator=(const CExchange&) = delete;

    // The link frames go out on, or nullptr when none is open.
    void Attach(palvex::ILinkTransport* link) { m_pLink = link; }
    void Detach() { m_pLink = nullptr; }
    bool LinkOpen() const { return m_pLink != nullptr; }
    // How many bytes the last frame built has (what GetSendString writes).
    std::uint16_t LastFrameLength() const { return m_nLastFrameLen; }

    // Wraps payload[0..n) into a frame addressed by `state`, stores a copy,
    // sends it on the open link and reads the reply whose length the command
    // letter decides. Each attempt's read must finish within the link's time
    // per reply byte plus the wait time. On success `payload` holds the reply
    // text (hex for data replies); on failure an empty text. Capture mode
    // builds and stores only. `payload` must hold max(n, 2N + 3, 7) bytes.
    BOOL ExchangeFrame(BYTE* payload, std::uint16_t n, const SControlState& state);

    // Completes the payload for a short command letter and exchanges it. For
    // the reading letters the reply text is copied into `data` (which must
    // hold 259 bytes for "V" and "W"). Only the low 8 bits of count count.
    BOOL ExecuteCommand(BYTE letter, BYTE* data, int count, const SControlState& state);

    // The last frame built, as 16-bit elements; FALSE while not armed.
    BOOL GetSendString(short* lpCount, short* lpRetBuff, const SControlState& state) const;

    // The reason of the last link failure since ClearLinkError (an open that
    // failed, a write or read of an exchange that fell short); none when
    // every operation since went well. Its detail ("" when none) and its
    // whole text (LinkFailureText; "" when none) are kept beside it.
    const palvex::LinkError& LastLinkError() const { return m_lastLinkError; }
    const std::string& LastLinkDetail() const { return m_lastLinkDetail; }
    const std::string& LastLinkErrorText() const { return m_lastLinkText; }
    void ClearLinkError();
    // Keeps `error` and its detail (may be null) as the last link failure and
    // tells the trace sink. An open has no attempt: pass 0 for both counts.
    void ReportLinkError(const char* link, palvex::LinkOperation op, const palvex::LinkError& error,
                         const char* detail = nullptr, int attempt = 0, int maxAttempts = 0);

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

  private:
    std::tm LocalTime() const;

    palvex::ILinkTransport* m_pLink = nullptr;
    std::uint16_t m_crcTable[256];
    BYTE m_lastFrame[palvex::kLastFrameCapacity] = {};
    std::uint16_t m_nLastFrameLen = 0;
    palvex::LinkError m_lastLinkError;
    std::string m_lastLinkDetail;
    std::string m_lastLinkText;
    palvex::TraceSink m_pfnTrace = nullptr;
    void* m_pTraceContext = nullptr;
    ClockFn m_pfnClock = nullptr;
    void* m_pClockContext = nullptr;
};
