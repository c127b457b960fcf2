// What the control keeps with a host's document, on every system: its
// version stamp (module::kPersistVersion, major 1 minor 0) and, after it,
// the extent a container gave it (control_parts.h), each 32-bit value least
// significant byte first. Its link and screen state are set up by calls,
// not restored.
#pragma once

#include "control/automation/com_support.h"
#include "control/automation/control_parts.h"

namespace palvex {

constexpr ULONG kStampBytes = 4;
constexpr ULONG kStateBytes = kStampBytes + 8;

// Writes the stamp and the extent; STG_E_WRITEFAULT when the stream takes
// less.
HRESULT WriteState(ISequentialStream& stream, const SControlExtent& extent);

// Reads a stamp and the extent after it. Any stamp loads: older versions
// convert to this one, which has nothing to convert. A stream that ends
// after the stamp (what the control saved before it kept its extent) leaves
// the extent as it is. A stream too short to hold a stamp, or one that ends
// inside the extent, is not the control's (STG_E_READFAULT).
HRESULT ReadState(ISequentialStream& stream, SControlExtent& extent);

} // namespace palvex
