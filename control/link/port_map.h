// Which device file stands for serial port COMn.
#pragma once

#include <string>

namespace palvex {

// Where the port map lives in the registry: one text value "COM<n>" per
// mapped port, holding the absolute path of its device.
constexpr const char* kPortMapKey = "SOFTWARE\\Palvex\\Ports";

// In this order: PALVEX_COM<n> from the environment when set and not empty;
// the value COM<n> under HKEY_CURRENT_USER\SOFTWARE\Palvex\Ports when it
// holds an absolute path; otherwise /dev/ttyS<n-1>. Returns an empty string
// for n < 1.
std::string ResolveComDevice(int n);

} // namespace palvex
