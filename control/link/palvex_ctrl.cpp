#include "control/link/palvex_ctrl.h"

#include "control/palvex_facts.h"

#include "platform/ports/port_map.h"

#include <cstdio>
#include <cstdlib>

using namespace palvex;

namespace {

constexpr int kMinWaitTime = 100;

short AtLeastMinWait(short WaitTime) {
    return WaitTime < kMinWaitTime ? static_cast<short>(kMinWaitTime) : WaitTime;
}

// Trace sink selected by PALVEX_TRACE: every frame written and every reply
// read, as hex, and every link failure in its one text (LinkFailureText), on
// standard error.
void TraceToStderr(const TraceEvent& e) {
    if (e.IsLinkError()) {
        const std::string text =
            LinkFailureText(e.link, e.operation, e.error, e.detail, e.attempt, e.maxAttempts);
        std::fprintf(stderr, "palvex: %s\n", text.c_str());
        return;
    }
    char line[2 * 1600 + 128];
    int pos = std::snprintf(line, sizeof line, "palvex: %s attempt %d/%d %s", e.link, e.attempt,
                            e.maxAttempts, e.outgoing ? "> " : "< ");
    for (std::size_t i = 0; i < e.len && pos + 3 < static_cast<int>(sizeof line); ++i)
        pos += std::snprintf(line + pos, sizeof line - static_cast<std::size_t>(pos), "%02X",
                             e.data[i]);
    if (e.len < e.wanted)
        std::snprintf(line + pos, sizeof line - static_cast<std::size_t>(pos),
                      "%s(%zu of %zu bytes)", e.len ? " " : "", e.len, e.wanted);
    std::fprintf(stderr, "%s\n", line);
}

} // namespace

bool IsSupportedBaudRate(unsigned baud) {
    return palvex::card::IsBaudRate(baud);
}

CPalvexCtrl::CPalvexCtrl() {
    if (const char* t = std::getenv("PALVEX_TRACE"); t != nullptr && *t != '\0' && *t != '0')
        m_bTraceToStderr = true;
    RouteTrace();
}

void CPalvexCtrl::SetTraceSink(TraceSink sink, void* context) {
    m_pfnHostTrace = sink;
    m_pHostTraceContext = sink != nullptr ? context : nullptr;
    RouteTrace();
}

// The exchange is given a sink only when someone listens, so that an
// exchange nobody traces builds no events.
void CPalvexCtrl::RouteTrace() {
    if (m_bTraceToStderr || m_pfnHostTrace != nullptr)
        m_exchange.SetTraceSink(&CPalvexCtrl::Trace, this);
    else
        m_exchange.SetTraceSink(nullptr, nullptr);
}

void CPalvexCtrl::Trace(void* self, const TraceEvent& event) {
    const auto* ctrl = static_cast<const CPalvexCtrl*>(self);
    if (ctrl->m_bTraceToStderr) TraceToStderr(event);
    if (ctrl->m_pfnHostTrace != nullptr) ctrl->m_pfnHostTrace(ctrl->m_pHostTraceContext, event);
}

// A line left open by a host that forgot QKClose is closed here too: the
// descriptor and the exclusive lock must not outlive the control.
CPalvexCtrl::~CPalvexCtrl() = default;

BOOL CPalvexCtrl::AttachTransport(ILinkTransport* link, short WaitTime) {
    if (IsLinkOpen() || link == nullptr) return FALSE;
    m_state.m_nWaitTime = AtLeastMinWait(WaitTime);
    m_state.m_nLinkKind = 0;
    m_exchange.Attach(link);
    return TRUE;
}

BOOL CPalvexCtrl::ComInitial(short ComPort, short BaudRate, short WaitTime) {
    if (IsLinkOpen()) return FALSE;
    m_exchange.ClearLinkError();
    const unsigned baud = static_cast<std::uint16_t>(BaudRate);
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", ComPort);
    if (!IsSupportedBaudRate(baud)) {
        std::string why = std::to_string(baud) + " bit/s is not a speed of the card:";
        for (const unsigned b : palvex::card::kBaudRates)
            why += ' ' + std::to_string(b);
        m_exchange.ReportLinkError(name, LinkOperation::Open,
                                   LinkError{LinkErrorKind::SpeedRefused, 0}, why.c_str());
        return FALSE;
    }
    // The port map says why a number opens nothing: no device has it, the
    // adapter that has it is unplugged, or it is the system console.
    const ports::SComPort port = ports::ResolveComPort(ComPort);
    const std::string& device = port.device;
    if (device.empty()) {
        m_exchange.ReportLinkError(name, LinkOperation::Open,
                                   LinkError{LinkErrorKind::NoSuchDevice, 0}, port.note.c_str());
        return FALSE;
    }
    if (!m_hComm.Open(device, baud, name)) {
        m_exchange.ReportLinkError(name, LinkOperation::Open, m_hComm.LastError(),
                                   m_hComm.LastErrorDetail().c_str());
        return FALSE;
    }

    m_state.m_nWaitTime = AtLeastMinWait(WaitTime);
    m_hComm.SetMaxAttempts(5);
    m_state.m_nLinkKind = 0;
    m_exchange.Attach(&m_hComm);
    return TRUE;
}

BOOL CPalvexCtrl::NetInitial(short /*LocalPort*/, std::int32_t RemoteIP, short RemotePort,
                             short WaitTime) {
    if (IsLinkOpen()) return FALSE;
    m_exchange.ClearLinkError();
    m_state.m_nWaitTime = AtLeastMinWait(WaitTime);
    m_state.m_nLinkKind = 1;
    const auto ip = static_cast<std::uint32_t>(RemoteIP);
    char address[20];
    std::snprintf(address, sizeof address, "%u.%u.%u.%u", (ip >> 24) & 0xFF, (ip >> 16) & 0xFF,
                  (ip >> 8) & 0xFF, ip & 0xFF);
    const unsigned port = static_cast<std::uint16_t>(RemotePort);
    char name[32];
    std::snprintf(name, sizeof name, "%s:%u", address, port);
    if (!m_socket.Create() || !m_socket.Connect(address, port)) {
        m_exchange.ReportLinkError(name, LinkOperation::Open, m_socket.LastLinkError());
        m_socket.Close();
        return FALSE;
    }
    m_socketLink.SetName(name);
    m_exchange.Attach(&m_socketLink);
    return TRUE;
}

void CPalvexCtrl::QKClose() {
    if (IsLinkOpen()) {
        if (m_state.m_nLinkKind == 1)
            m_socket.Close();
        else
            m_hComm.Close();
    }
    m_exchange.Detach();
    m_state.m_bPropertySet = FALSE;
    m_state.m_bSendFlag = TRUE;
}
