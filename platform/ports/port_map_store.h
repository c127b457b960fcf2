// What each system's port map file shares: the ports it describes and the
// registry values that map a number by hand.
#pragma once

#include "platform/ports/port_map.h"

#include <map>
#include <string>
#include <vector>

namespace palvex::ports {

SComPort MakePort(int n, ComSource source, std::string device = {}, std::string note = {});

// The number stands for `present`, a device the system lists now.
void SetPresentDevice(SComPort& port, const SSerialPort& present);

// The ports in the order of their numbers.
std::vector<SComPort> InNumberOrder(std::map<int, SComPort>&& ports);

// The values under HKEY_CURRENT_USER\`keyPath`, as COM number -> text;
// values that are not named COM<n> or hold nothing are left out.
std::map<int, std::string> ComValues(const char* keyPath);

enum class ValueRelease { Absent, Released, Failed };

// Deletes the value COM<n> under HKEY_CURRENT_USER\`keyPath`; `text` receives
// what it held.
ValueRelease ReleaseComValue(const char* keyPath, int n, std::string& text);

// Writes COM<n> = `device` as a mapping by hand; `message` says what was done
// or why not.
bool WriteHandMapping(int n, const std::string& device, std::string& message);

} // namespace palvex::ports
