// The parts of the port map that every system shares: names, sources, the
// ports described and the registry values that map a number by hand.
#include "platform/ports/port_map.h"

#include "platform/ports/port_map_store.h"
#include "platform/registry/registry.h"

namespace palvex::ports {

std::string ComName(int n) {
    return "COM" + std::to_string(n);
}

const char* ComSourceName(ComSource source) {
    switch (source) {
    case ComSource::Environment:
        return "environment";
    case ComSource::Registry:
        return "registry";
    case ComSource::Automatic:
        return "automatic";
    case ComSource::System:
        return "system";
    case ComSource::None:
        break;
    }
    return "none";
}

int ParseComName(const std::string& text) {
    if (text.size() < 4 || text.size() > 6) return 0;
    if ((text[0] | 0x20) != 'c' || (text[1] | 0x20) != 'o' || (text[2] | 0x20) != 'm') return 0;
    int n = 0;
    for (char c : text.substr(3)) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= kMaxComNumber ? n : 0;
}

SComPort MakePort(int n, ComSource source, std::string device, std::string note) {
    SComPort port;
    port.number = n;
    port.source = source;
    port.device = std::move(device);
    port.note = std::move(note);
    return port;
}

void SetPresentDevice(SComPort& port, const SSerialPort& present) {
    port.port = present;
    port.present = true;
    port.stablePath = present.stablePath;
    port.description = present.Description();
}

std::vector<SComPort> InNumberOrder(std::map<int, SComPort>&& ports) {
    std::vector<SComPort> list;
    for (auto& [n, port] : ports)
        list.push_back(std::move(port));
    return list;
}

std::map<int, std::string> ComValues(const char* keyPath) {
    std::map<int, std::string> values;
    reg::CRegKey key;
    if (key.Open(reg::Root::CurrentUser, keyPath) != reg::kSuccess) return values;
    std::vector<std::string> names;
    if (key.EnumValues(names) != reg::kSuccess) return values;
    for (const auto& name : names) {
        const int n = ParseComName(name);
        std::string text;
        if (n > 0 && key.QueryStringValue(name, text) == reg::kSuccess && !text.empty())
            values[n] = text;
    }
    return values;
}

ValueRelease ReleaseComValue(const char* keyPath, int n, std::string& text) {
    reg::CRegKey key;
    if (key.Open(reg::Root::CurrentUser, keyPath) != reg::kSuccess ||
        key.QueryStringValue(ComName(n), text) != reg::kSuccess)
        return ValueRelease::Absent;
    return key.DeleteValue(ComName(n)) == reg::kSuccess ? ValueRelease::Released
                                                        : ValueRelease::Failed;
}

bool WriteHandMapping(int n, const std::string& device, std::string& message) {
    reg::CRegKey key;
    if (key.Create(reg::Root::CurrentUser, kPortMapKey) != reg::kSuccess ||
        key.SetStringValue(ComName(n), device) != reg::kSuccess) {
        message = "cannot write the port map";
        return false;
    }
    message = "mapped " + ComName(n) + " to " + device;
    return true;
}

std::string ResolveComDevice(int n) {
    return ResolveComPort(n).device;
}

} // namespace palvex::ports
