// Registration of the module, on every system: first the type library, then
// every class. A type library that cannot be registered stops everything
// (SELFREG_E_TYPELIB); a class that cannot be registered gives
// SELFREG_E_CLASS and leaves the type library registered. Neither step
// leaves half of its entries behind: a step that fails removes what it had
// written. Unregistering runs the same steps in the same order, with the same
// codes; keys that are already gone count as removed.
//
// Where the entries go, and how the type library is registered, is the
// system's (registration_linux.cpp: the per-user store; registration_win32.cpp:
// the registry and the system's type library registration).
#pragma once

#include "control/automation/com_support.h"
#include "control/automation/registry_entries.h"

#include <string>
#include <vector>

namespace palvex {

// Machine: for every user of the machine where the system has such a place
// (Windows: HKEY_LOCAL_MACHINE, what regsvr32 does); the user's own store on
// a system that has none (Linux). CurrentUser: the current user alone
// (regsvr32 /n /i:user).
enum class RegistrationScope { Machine, CurrentUser };

// DllRegisterServer's and DllUnregisterServer's work, for the module's own
// file.
HRESULT RegisterServer(RegistrationScope scope);
HRESULT UnregisterServer(RegistrationScope scope);

// What the type library's step writes when the module writes it itself:
// the library's version key with its flags, help folder and the module's
// file for `platform` ("linux", "win32", "win64"), and the dispatch
// interfaces with the automation marshaller and the library.
std::vector<RegistryEntry> TypeLibraryEntries(const std::string& modulePath,
                                              const std::string& platform);
// Takes back what that step wrote for `platform`: the module's file, the
// interfaces (each bitness has its own view of them), and the library's
// version when no other platform's module is registered in it (a 32-bit and
// a 64-bit module share the version key), then the library's key when no
// other version is left in it.
reg::LSTATUS RemoveTypeLibraryEntries(RegistrationScope scope, const std::string& platform);

// What the classes' step writes and removes.
std::vector<RegistryEntry> ClassEntries(const std::string& modulePath);
std::vector<std::string> ClassKeys();

// --- the system's part (registration_<system>.cpp) ---------------------------

struct RegistryPlace {
    reg::Root root;
    const char* classesKey;
};
RegistryPlace PlaceOf(RegistrationScope scope);

// The type library's step; false when it failed (having taken back what it
// wrote).
bool RegisterTypeLibrary(RegistrationScope scope, const std::string& modulePath);
bool UnregisterTypeLibrary(RegistrationScope scope);

// Whether the module of the other bitness (a 32-bit one beside a 64-bit
// one, each registered in its own view of the class keys) still has the
// class registered: the keys both views share (the ProgID) then stay.
bool RegisteredInOtherView(RegistrationScope scope, const CLSID& clsid);

} // namespace palvex
