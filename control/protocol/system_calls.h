// The protocol layer's few calls whose form differs between operating
// systems; each system's file (system_calls_linux.cpp, ...) makes them.
#pragma once

#include "control/protocol/link_error.h"

#include <ctime>

namespace palvex {

// `t` as local time in `out`; false when the system cannot convert it.
bool LocalTimeOf(std::time_t t, std::tm& out);
// The symbolic name of a system error number ("ENOENT"), or nullptr when the
// system has none for it.
const char* ErrorNumberName(int err);
// The link error meant by an error number that only some systems have
// (ESHUTDOWN, EHOSTDOWN); IoError for any other.
LinkErrorKind SystemOnlyErrnoKind(int err);

} // namespace palvex
