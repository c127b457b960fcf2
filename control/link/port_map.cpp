#include "control/link/port_map.h"

#include <cstdlib>

namespace palvex {

std::string ResolveComDevice(int n) {
    if (n < 1) return {};
    const std::string var = "PALVEX_COM" + std::to_string(n);
    if (const char* mapped = std::getenv(var.c_str()); mapped != nullptr && *mapped != '\0')
        return mapped;
    return "/dev/ttyS" + std::to_string(n - 1);
}

} // namespace palvex
