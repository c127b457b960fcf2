// The registry values of the port map, shared by each system's port map file.
#pragma once

#include <string>

namespace palvex::ports {

enum class ValueRelease { Absent, Released, Failed };

// Deletes the value COM<n> under HKEY_CURRENT_USER\`keyPath`; `text` receives
// what it held.
ValueRelease ReleaseComValue(const char* keyPath, int n, std::string& text);

// Writes COM<n> = `device` as a mapping by hand; `message` says what was done
// or why not.
bool WriteHandMapping(int n, const std::string& device, std::string& message);

} // namespace palvex::ports
