#include "control/protocol/system_calls.h"

#include <cerrno>
#include <cstring>
#include <time.h>

namespace palvex {

bool LocalTimeOf(std::time_t t, std::tm& out) {
    return ::localtime_r(&t, &out) != nullptr;
}

const char* ErrorNumberName(int err) {
    return ::strerrorname_np(err);
}

LinkErrorKind SystemOnlyErrnoKind(int err) {
    switch (err) {
    case ESHUTDOWN:
        return LinkErrorKind::Disconnected;
    case EHOSTDOWN:
        return LinkErrorKind::Unreachable;
    default:
        return LinkErrorKind::IoError;
    }
}

} // namespace palvex
