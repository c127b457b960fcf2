// Which device file stands for serial port COMn.
#pragma once

#include <string>

namespace palvex {

// PALVEX_COM<n> from the environment when set and not empty, otherwise
// /dev/ttyS<n-1>. Returns an empty string for n < 1.
std::string ResolveComDevice(int n);

} // namespace palvex
