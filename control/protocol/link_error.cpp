#include "control/protocol/link_error.h"

#include "control/protocol/system_calls.h"

#include <cerrno>
#include <cstring>

namespace palvex {

LinkError LinkErrorFromErrno(LinkOperation op, int err) {
    LinkErrorKind kind = LinkErrorKind::IoError;
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        kind = LinkErrorKind::PermissionDenied;
        break;
    case EBUSY:
    case EWOULDBLOCK: // a flock held elsewhere; EAGAIN on Linux
        kind = op == LinkOperation::Open ? LinkErrorKind::Busy : LinkErrorKind::IoError;
        break;
    case ENOTTY:
    case EISDIR:
        kind = LinkErrorKind::NotASerialDevice;
        break;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        // Once open, a device that vanishes answers ENODEV or ENXIO.
        kind =
            op == LinkOperation::Open ? LinkErrorKind::NoSuchDevice : LinkErrorKind::Disconnected;
        break;
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
        kind = LinkErrorKind::Disconnected;
        break;
    case ETIMEDOUT:
        kind = LinkErrorKind::TimedOut;
        break;
    case ECONNREFUSED:
        kind = LinkErrorKind::ConnectionRefused;
        break;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EADDRNOTAVAIL:
        kind = LinkErrorKind::Unreachable;
        break;
    default:
        kind = SystemOnlyErrnoKind(err);
        break;
    }
    return LinkError{kind, err};
}

const char* LinkErrorKindText(LinkErrorKind kind) {
    switch (kind) {
    case LinkErrorKind::None:
        return "no error";
    case LinkErrorKind::NoSuchDevice:
        return "no such device";
    case LinkErrorKind::Busy:
        return "busy, held by another program";
    case LinkErrorKind::PermissionDenied:
        return "permission denied";
    case LinkErrorKind::NotASerialDevice:
        return "not a serial device";
    case LinkErrorKind::SpeedRefused:
        return "speed refused";
    case LinkErrorKind::Disconnected:
        return "disconnected";
    case LinkErrorKind::IoError:
        return "I/O error";
    case LinkErrorKind::TimedOut:
        return "timed out";
    case LinkErrorKind::ConnectionRefused:
        return "connection refused";
    case LinkErrorKind::Unreachable:
        return "unreachable";
    }
    return "unknown error";
}

const char* LinkOperationText(LinkOperation op) {
    switch (op) {
    case LinkOperation::None:
        return "link";
    case LinkOperation::Open:
        return "open";
    case LinkOperation::Write:
        return "write";
    case LinkOperation::Read:
        return "read";
    }
    return "link";
}

std::string LinkErrorText(const LinkError& error) {
    std::string text = LinkErrorKindText(error.kind);
    if (error.sysErrno != 0) {
        const char* name = ErrorNumberName(error.sysErrno);
        text += " (";
        text += name != nullptr ? name : "errno " + std::to_string(error.sysErrno);
        text += ')';
    }
    return text;
}

std::string LinkFailureText(const char* link, LinkOperation op, const LinkError& error,
                            const char* detail, int attempt, int maxAttempts) {
    std::string text = link != nullptr ? link : "";
    if (attempt > 0)
        text += " attempt " + std::to_string(attempt) + '/' + std::to_string(maxAttempts);
    text += ' ';
    text += LinkOperationText(op);
    text += " failed: ";
    text += LinkErrorText(error);
    if (detail != nullptr && *detail != '\0') {
        text += ": ";
        text += detail;
    }
    return text;
}

} // namespace palvex
