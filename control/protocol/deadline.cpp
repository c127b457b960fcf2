#include "control/protocol/deadline.h"

#include <chrono>
#include <climits>

namespace palvex {

// The standard library's steady clock: monotonic, and the same call on every
// operating system, so the deadline needs no system call of its own.
std::int64_t CDeadline::NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

CDeadline::CDeadline(std::int64_t ms)
    : m_nAllowedMs(ms < 0 ? 0 : ms), m_nEndNs(NowNs() + m_nAllowedMs * 1000000) {}

int CDeadline::RemainingMs() const {
    const std::int64_t left = m_nEndNs - NowNs();
    if (left <= 0) return 0;
    const std::int64_t ms = (left + 999999) / 1000000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace palvex
