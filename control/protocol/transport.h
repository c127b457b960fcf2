// The one seam between the frame exchange and a physical link. Serial, modem
// and TCP links each implement it; the exchange itself never touches a
// descriptor.
#pragma once

#include "control/protocol/deadline.h"
#include "control/protocol/link_error.h"

#include <cstddef>
#include <cstdint>

namespace palvex {

class ILinkTransport {
  public:
    virtual ~ILinkTransport() = default;

    // How many times one frame is sent before the exchange gives up.
    virtual int MaxAttempts() const = 0;
    // Time the line needs per reply byte, in milliseconds; the exchange adds
    // it to the wait time when it sets an attempt's deadline.
    virtual int PerByteMs() const = 0;
    // Drop whatever is waiting to be sent and whatever has been received, so
    // that the next read sees only the answer to the next frame.
    virtual void Purge() = 0;
    // Send all n bytes. False when the link refused them.
    virtual bool Write(const std::uint8_t* data, std::size_t n) = 0;
    // Read exactly n bytes before `deadline`. Returns the number of bytes
    // stored (n on success); never stores more than n.
    virtual std::size_t ReadExact(std::uint8_t* buf, std::size_t n, const CDeadline& deadline) = 0;
    // Short human-readable name of the link for traces ("COM3", "127.0.0.1:7000").
    virtual const char* Describe() const = 0;
    // Why the last Write or ReadExact fell short; none when it did not or
    // when the link cannot tell.
    virtual LinkError LastError() const { return {}; }
};

// What a trace sink is told about each frame written, each reply read and
// each link failure (an open, a write or a read that failed, with its reason).
struct TraceEvent {
    const char* link; // ILinkTransport::Describe()
    int attempt;      // 1-based
    int maxAttempts;
    bool outgoing; // true: frame written, false: reply read
    const std::uint8_t* data;
    std::size_t len;        // bytes actually transferred
    std::size_t wanted;     // bytes wanted (replies); equals len when complete
    std::int64_t allowedMs; // replies: the time the attempt allowed for the read
    // Link failures only: what failed and why (attempt is 0 for an open),
    // and what the user can do about it: the device path and, where the
    // system tells, the program holding it or the fix for its permissions.
    // Null when there is nothing to add.
    LinkOperation operation;
    LinkError error;
    const char* detail;

    bool IsLinkError() const { return error.Failed(); }
};
using TraceSink = void (*)(void* context, const TraceEvent& event);

} // namespace palvex
