// What the control keeps with a host's document, on every system: its
// version stamp alone (module::kPersistVersion, major 1 minor 0), four bytes,
// least significant first. Its link and screen state are set up by calls,
// not restored.
#pragma once

#include "control/automation/com_support.h"

namespace palvex {

constexpr ULONG kStampBytes = 4;

// Writes the stamp; STG_E_WRITEFAULT when the stream takes less.
HRESULT WriteStamp(ISequentialStream& stream);

// Reads a stamp. Any stamp loads: older versions convert to this one, which
// has nothing to convert. A stream too short to hold one is not the
// control's (STG_E_READFAULT).
HRESULT ReadStamp(ISequentialStream& stream);

} // namespace palvex
