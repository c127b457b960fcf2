#include "control/link/win32_errors.h"

// winsock2.h includes windows.h, after its own declarations.
#include <winsock2.h>

#include <cerrno>

namespace palvex {

LinkError LinkErrorFromWin32(LinkOperation op, unsigned long err) {
    const bool open = op == LinkOperation::Open;
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return LinkError{LinkErrorKind::NoSuchDevice, ENOENT};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        // Once open, a USB adapter pulled out answers ERROR_ACCESS_DENIED.
        if (open) return LinkError{LinkErrorKind::Busy, EBUSY};
        return LinkError{LinkErrorKind::Disconnected, ENODEV};
    case ERROR_NOT_READY:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_OPERATION_ABORTED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
        return LinkError{open ? LinkErrorKind::NoSuchDevice : LinkErrorKind::Disconnected, ENODEV};
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return LinkError{LinkErrorKind::NotASerialDevice, ENOTTY};
    case ERROR_SEM_TIMEOUT:
        return LinkError{LinkErrorKind::TimedOut, ETIMEDOUT};
    default:
        return LinkError{LinkErrorKind::IoError, EIO};
    }
}

LinkError LinkErrorFromWinsock(LinkOperation op, int err) {
    switch (err) {
    case WSAECONNREFUSED:
        return LinkErrorFromErrno(op, ECONNREFUSED);
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN:
        return LinkErrorFromErrno(op, ECONNRESET);
    case WSAENOTCONN:
        return LinkErrorFromErrno(op, ENOTCONN);
    case WSAETIMEDOUT:
        return LinkErrorFromErrno(op, ETIMEDOUT);
    case WSAENETUNREACH:
    case WSAENETDOWN:
        return LinkErrorFromErrno(op, ENETUNREACH);
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
    case WSAEADDRNOTAVAIL:
        return LinkErrorFromErrno(op, EHOSTUNREACH);
    case WSAEACCES:
        return LinkErrorFromErrno(op, EACCES);
    case WSAENOTSOCK:
        return LinkErrorFromErrno(op, EBADF);
    default:
        return LinkError{LinkErrorKind::IoError, EIO};
    }
}

} // namespace palvex
