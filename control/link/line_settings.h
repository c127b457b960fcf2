// The line settings a serial port had before the control changed them. The
// control gives them back when it lets the port go, so a port is left as it
// was found. Opaque here: the system's own type lives in the file of that
// system, which checks that it fits.
#pragma once

#include <cstddef>

namespace palvex {

struct SSavedLineSettings {
    static constexpr std::size_t kCapacity = 64;
    alignas(8) unsigned char bytes[kCapacity] = {};
    bool saved = false;
};

} // namespace palvex
