// Registration of the module in the per-user store (see registry_layout.h):
// first the type library, then every class. A type library that cannot be
// registered stops everything (SELFREG_E_TYPELIB); a class that cannot be
// registered gives SELFREG_E_CLASS and leaves the type library registered.
// Neither step leaves half of its entries behind: a step that fails removes
// what it had written.
#pragma once

#include "control/automation/palvex_com.h"
#include "control/automation/registry_entries.h"

#include <optional>
#include <string>
#include <vector>

namespace palvex {

// What each step writes for a module at `modulePath`.
std::vector<RegistryEntry> TypeLibraryEntries(const std::string& modulePath);
std::vector<RegistryEntry> ClassEntries(const std::string& modulePath);

// The keys each step removes (below HKEY_CURRENT_USER\SOFTWARE\Classes).
std::vector<std::string> TypeLibraryKeys();
std::vector<std::string> ClassKeys();

// DllRegisterServer's and DllUnregisterServer's work. Keys that are already
// gone count as removed.
HRESULT RegisterServer(const std::string& modulePath);
HRESULT UnregisterServer();

} // namespace palvex
