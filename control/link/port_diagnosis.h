// What to tell the user when a serial port would not open: the device's path
// and what the system knows about the refusal, so the message says what to
// do (plug the adapter in, close the program that holds the port, join the
// group that may use it).
#pragma once

#include "control/protocol/link_error.h"

#include <string>

namespace palvex {

// The detail of a failed open of `path` at `baud` for LinkFailureText. It
// always names the path; where the system tells more it adds it:
//   no such device: that the path does not exist (or where a link leads);
//   busy: the program holding the port, from its lock, or that none tells;
//   permission denied: the owner, group and mode, and the fix;
//   not a serial device: that the path is not a terminal;
//   speed refused: the speed the port would not take.
// Looks at the device while the failure is fresh: call it right away.
std::string OpenFailureDetail(const std::string& path, const LinkError& error, unsigned baud);

} // namespace palvex
