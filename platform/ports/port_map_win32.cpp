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
    std::map<int, std::string> mappings;
    for (const auto& [n, text] : ComValues(kPortMapKey))
        if (std::string device = MappedDevice(text); !device.empty()) mappings[n] = device;
    return mappings;
}

SComPort HandMapped(int n, const std::string& device) {
    SComPort port = MakePort(n, ComSource::Registry, device);
    port.description = "mapped by hand";
    return port;
}

SComPort SystemPort(int n, const std::vector<SSerialPort>& present) {
    SComPort port = MakePort(n, ComSource::System, DevicePath(n));
    for (const auto& p : present)
        if (p.node == port.device) SetPresentDevice(port, p);
    return port;
}

} // namespace

SComPort ResolveComPort(int n) {
    if (n < 1) return MakePort(n, ComSource::None, {}, "no port has a number below 1");
    const auto registry = RegistryMappings();
    if (const auto found = registry.find(n); found != registry.end())
        return HandMapped(n, found->second);
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
        SComPort mapped = HandMapped(n, device);
        if (ports.contains(n)) mapped.note = "overrides the system's " + ComName(n);
        ports[n] = std::move(mapped);
    }
    return InNumberOrder(std::move(ports));
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
