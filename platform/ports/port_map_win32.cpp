// The COM numbers on Windows: the system's own, each opened as \\.\COMn,
// and the mappings by hand under HKEY_CURRENT_USER\SOFTWARE\Palvex\Ports.
#include "platform/ports/port_map.h"

#include "platform/ports/port_map_store.h"
#include "platform/registry/registry.h"

#include <map>

namespace palvex::ports {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";

std::string DevicePath(int n) {
    return std::string(kDevicePrefix) + ComName(n);
}

// What a mapping by hand opens: a device path as it stands, a COM name as
// \\.\COMk; "" for anything else, which would name a file.
std::string MappedDevice(const std::string& text) {
    if (text.starts_with(kDevicePrefix)) return text;
    if (const int k = ParseComName(text); k > 0) return DevicePath(k);
    return {};
}

std::map<int, std::string> RegistryMappings() {
    std::map<int, std::string> values;
    reg::CRegKey key;
    if (key.Open(reg::Root::CurrentUser, kPortMapKey) != reg::kSuccess) return values;
    std::vector<std::string> names;
    if (key.EnumValues(names) != reg::kSuccess) return values;
    for (const auto& name : names) {
        const int n = ParseComName(name);
        std::string text;
        if (n > 0 && key.QueryStringValue(name, text) == reg::kSuccess)
            if (std::string device = MappedDevice(text); !device.empty()) values[n] = device;
    }
    return values;
}

SComPort SystemPort(int n, const std::vector<SSerialPort>& present) {
    SComPort port;
    port.number = n;
    port.source = ComSource::System;
    port.device = DevicePath(n);
    for (const auto& p : present)
        if (p.node == port.device) {
            port.port = p;
            port.present = true;
            port.stablePath = p.stablePath;
            port.description = p.Description();
        }
    return port;
}

} // namespace

SComPort ResolveComPort(int n) {
    if (n < 1) {
        SComPort port;
        port.number = n;
        port.note = "no port has a number below 1";
        return port;
    }
    const auto registry = RegistryMappings();
    if (const auto found = registry.find(n); found != registry.end()) {
        SComPort port;
        port.number = n;
        port.source = ComSource::Registry;
        port.device = found->second;
        port.description = "mapped by hand";
        return port;
    }
    // Windows knows whether the port exists: the open says so.
    return SystemPort(n, {});
}

std::vector<SComPort> ListComPorts() {
    std::map<int, SComPort> ports;
    const auto present = ListSerialPorts();
    for (const auto& p : present)
        if (const int n = ParseComName(p.node.substr(kDevicePrefix.size())); n > 0)
            ports[n] = SystemPort(n, present);
    for (const auto& [n, device] : RegistryMappings()) {
        SComPort mapped;
        mapped.number = n;
        mapped.source = ComSource::Registry;
        mapped.device = device;
        mapped.description = "mapped by hand";
        if (ports.contains(n)) mapped.note = "overrides the system's " + ComName(n);
        ports[n] = std::move(mapped);
    }
    std::vector<SComPort> list;
    for (auto& [n, port] : ports)
        list.push_back(std::move(port));
    return list;
}

bool ForgetComPort(int n, std::string& message) {
    const std::string name = ComName(n);
    std::string text;
    const ValueRelease done = ReleaseComValue(kPortMapKey, n, text);
    if (done == ValueRelease::Absent) {
        message = name + " is not in the port map; Windows numbers its own ports";
        return false;
    }
    if (done == ValueRelease::Failed) {
        message = "cannot change the port map: " + name + " stays";
        return false;
    }
    message = "forgot " + name + " (registry: " + text + ")";
    return true;
}

bool MapComPort(int n, const std::string& device, std::string& message) {
    if (MappedDevice(device).empty()) {
        message = "the device must be a device path (\\\\.\\...) or a COM name: " + device;
        return false;
    }
    return WriteHandMapping(n, device, message);
}

} // namespace palvex::ports
