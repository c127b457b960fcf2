#include "control/link/link_socket.h"

#include <cstdio>

namespace palvex {

void CSocketTransport::SetName(const char* name) {
    std::snprintf(m_szName, sizeof m_szName, "%s", name);
}

bool CSocketTransport::Write(const std::uint8_t* data, std::size_t n) {
    const int sent = m_socket.Send(data, static_cast<int>(n));
    return sent > 0;
}

std::size_t CSocketTransport::ReadExact(std::uint8_t* buf, std::size_t n,
                                        const CDeadline& deadline) {
    // Counted from the span the attempt was given rather than from the time
    // left, so the count is the same however long the send took: wait / 20.
    const std::int64_t waits = deadline.AllowedMs() / kSocketWaitMs;
    m_socket.m_nMaxWaits = static_cast<short>(waits > 0x7FFF ? 0x7FFF : waits);
    const int got = m_socket.Receive(buf, static_cast<int>(n));
    return got == static_cast<int>(n) ? n : 0;
}

} // namespace palvex
