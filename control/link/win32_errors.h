// The link errors meant by the error codes of the Windows calls. The reason
// keeps the C runtime's error number of the same meaning, so a failure reads
// the same on every system ("busy (EBUSY)").
#pragma once

#include "control/protocol/link_error.h"

namespace palvex {

// From GetLastError() after CreateFile, the communications calls, ReadFile
// or WriteFile on a serial port. Windows refuses a port that another program
// holds with ERROR_ACCESS_DENIED: on an open that is busy.
LinkError LinkErrorFromWin32(LinkOperation op, unsigned long err);

// From WSAGetLastError() after a Winsock call.
LinkError LinkErrorFromWinsock(LinkOperation op, int err);

} // namespace palvex
