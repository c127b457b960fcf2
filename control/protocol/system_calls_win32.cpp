#include "control/protocol/system_calls.h"

#include <cerrno>
#include <time.h>

namespace palvex {

bool LocalTimeOf(std::time_t t, std::tm& out) {
    return ::localtime_s(&out, &t) == 0;
}

// The C runtime's error numbers that the links can meet; the runtime itself
// gives only their sentences.
const char* ErrorNumberName(int err) {
#define PALVEX_ERRNO_NAME(name)                                                                    \
    case name:                                                                                     \
        return #name
    switch (err) {
        PALVEX_ERRNO_NAME(EPERM);
        PALVEX_ERRNO_NAME(ENOENT);
        PALVEX_ERRNO_NAME(EINTR);
        PALVEX_ERRNO_NAME(EIO);
        PALVEX_ERRNO_NAME(ENXIO);
        PALVEX_ERRNO_NAME(EBADF);
        PALVEX_ERRNO_NAME(EAGAIN);
        PALVEX_ERRNO_NAME(ENOMEM);
        PALVEX_ERRNO_NAME(EACCES);
        PALVEX_ERRNO_NAME(EBUSY);
        PALVEX_ERRNO_NAME(ENODEV);
        PALVEX_ERRNO_NAME(ENOTTY);
        PALVEX_ERRNO_NAME(ENOTCONN);
        PALVEX_ERRNO_NAME(EINVAL);
        PALVEX_ERRNO_NAME(EPIPE);
        PALVEX_ERRNO_NAME(ECONNREFUSED);
        PALVEX_ERRNO_NAME(ECONNRESET);
        PALVEX_ERRNO_NAME(EHOSTUNREACH);
        PALVEX_ERRNO_NAME(ENETUNREACH);
        PALVEX_ERRNO_NAME(ETIMEDOUT);
    }
#undef PALVEX_ERRNO_NAME
    return nullptr;
}

// The C runtime has neither ESHUTDOWN nor EHOSTDOWN.
LinkErrorKind SystemOnlyErrnoKind(int /*err*/) {
    return LinkErrorKind::IoError;
}

} // namespace palvex
