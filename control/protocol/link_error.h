// Why a link operation failed: a kind that hosts can act on and the errno the
// system gave. The automation methods still answer TRUE or FALSE; the reason
// travels beside them, to the trace sink and to LastLinkError(), with a
// detail that tells the user what to do about it.
#pragma once

#include <cstdint>
#include <string>

namespace palvex {

enum class LinkErrorKind : std::uint8_t {
    None,
    NoSuchDevice,     // no device or file at the path, or no port mapped
    Busy,             // held by another program or another control
    PermissionDenied, // the device's permissions refuse this user
    NotASerialDevice, // not a terminal (ENOTTY) or it refuses line settings
    SpeedRefused,     // the terminal cannot run at the card's speed
    Disconnected,     // the other end went away (hang-up, peer closed)
    IoError,          // any other failure of the system call
    TimedOut,         // nothing, or not enough, arrived in time
    ConnectionRefused,
    Unreachable, // no route to the card's network address
};

// The operation a link error belongs to.
enum class LinkOperation : std::uint8_t { None, Open, Write, Read };

struct LinkError {
    LinkErrorKind kind = LinkErrorKind::None;
    int sysErrno = 0; // 0 when the failure came with no errno (a time-out, a hang-up)

    bool Failed() const { return kind != LinkErrorKind::None; }
    friend bool operator==(const LinkError&, const LinkError&) = default;
};

// The reason behind errno `err` from an open (open, flock, ioctl, socket,
// connect) or from a transfer (read, write, send, recv, poll).
LinkError LinkErrorFromErrno(LinkOperation op, int err);

// One English line: the kind, then the errno's symbolic name in parentheses
// when there is one, e.g. "permission denied (EACCES)".
std::string LinkErrorText(const LinkError& error);
const char* LinkErrorKindText(LinkErrorKind kind);
const char* LinkOperationText(LinkOperation op);

// The one text of a link failure, shown the same by the trace on standard
// error, by hosts and by the programs:
//   "<link> <operation> failed: <kind> (<ERRNO>): <detail>"
// e.g. "COM3 open failed: no such device (ENOENT): /dev/ttyS2 does not
// exist". An exchange's attempt is named before the operation ("COM3
// attempt 2/5 read failed: timed out"); an empty or null detail is left out.
std::string LinkFailureText(const char* link, LinkOperation op, const LinkError& error,
                            const char* detail = nullptr, int attempt = 0, int maxAttempts = 0);

} // namespace palvex
