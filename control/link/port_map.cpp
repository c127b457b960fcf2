#include "control/link/port_map.h"

#include "platform/registry/registry.h"

#include <cstdlib>

namespace palvex {

namespace {

// The registry's mapping of COMn, or "" when there is none. A relative path
// is ignored: it would name a different file in every working directory.
std::string MappedInRegistry(const std::string& valueName) {
    reg::CRegKey key;
    if (key.Open(reg::Root::CurrentUser, kPortMapKey) != reg::kSuccess) return {};
    std::string device;
    if (key.QueryStringValue(valueName, device) != reg::kSuccess) return {};
    return device.starts_with('/') ? device : std::string();
}

} // namespace

std::string ResolveComDevice(int n) {
    if (n < 1) return {};
    const std::string var = "PALVEX_COM" + std::to_string(n);
    if (const char* mapped = std::getenv(var.c_str()); mapped != nullptr && *mapped != '\0')
        return mapped;
    if (std::string device = MappedInRegistry("COM" + std::to_string(n)); !device.empty())
        return device;
    return "/dev/ttyS" + std::to_string(n - 1);
}

} // namespace palvex
