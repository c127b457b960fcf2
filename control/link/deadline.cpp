#include "control/link/deadline.h"

#include <climits>
#include <ctime>

namespace palvex {

std::int64_t CDeadline::NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
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
