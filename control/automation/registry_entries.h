// What a self-registering module writes for its classes, and the writing
// and removing itself, over the settings store of the system (the registry
// on Windows, the per-user store on Linux). Both modules register through
// these, each below its own classes key.
#pragma once

#include "platform/registry/registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace palvex {

// One entry below a classes key: a value of a key, or (no text) only the key.
struct RegistryEntry {
    std::string key;
    std::string valueName; // "" is the key's default value
    std::optional<std::string> text;
};

// One creatable class as the registry describes it.
struct ClassRegistration {
    std::string clsid; // "{...}"
    std::string progId;
    std::string typeName;
    // The control's class carries the keys of a control (Control,
    // MiscStatus, ToolboxBitmap32, TypeLib, Version).
    bool isControl;
};

// The entries of one class served by the module at `modulePath`, with
// apartment threading.
std::vector<RegistryEntry> ClassRegistryEntries(const ClassRegistration& c,
                                                const std::string& modulePath);

// The keys that removing a class takes away (class key and ProgID).
std::vector<std::string> ClassRegistryKeys(const ClassRegistration& c);

// Writes the entries below root\base, stopping at the first failure.
reg::LSTATUS WriteRegistryEntries(reg::Root root, std::string_view base,
                                  const std::vector<RegistryEntry>& entries);

// Removes each key below root\base with everything below it; keys already
// gone count as removed. Goes on after a failure and reports the first one.
// `pruneEmpty`: keys removed afterwards only if nothing is left in them (a
// library key that may hold other versions).
reg::LSTATUS RemoveRegistryKeys(reg::Root root, std::string_view base,
                                const std::vector<std::string>& keys,
                                const std::vector<std::string>& pruneEmpty = {});

} // namespace palvex
