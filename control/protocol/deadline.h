// A point in monotonic time by which an operation must finish. Waits are
// computed from one deadline so that a read made of several pieces still
// respects a single overall time limit.
#pragma once

#include <cstdint>

namespace palvex {

class CDeadline {
public:
    explicit CDeadline(std::int64_t ms);
    // Milliseconds left, rounded up, never negative; suitable for poll().
    int RemainingMs() const;
    bool Expired() const { return RemainingMs() == 0; }
    // The span the deadline was set with, in milliseconds.
    std::int64_t AllowedMs() const { return m_nAllowedMs; }

    static std::int64_t NowNs();

private:
    std::int64_t m_nAllowedMs;
    std::int64_t m_nEndNs;
};

} // namespace palvex
