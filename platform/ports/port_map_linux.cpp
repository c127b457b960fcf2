// The COM numbers on Linux: PALVEX_COM<n>, the mappings by hand and the
// numbers given to the serial devices found (com_numbers.h), remembered in
// the per-user store.
#include "platform/ports/port_map.h"

#include "platform/ports/com_numbers.h"
#include "platform/ports/port_map_store.h"
#include "platform/registry/registry.h"

#include <cstdlib>
#include <map>

namespace palvex::ports {

namespace {

std::string FromEnvironment(int n) {
    const std::string var = "PALVEX_COM" + std::to_string(n);
    const char* mapped = std::getenv(var.c_str());
    return mapped != nullptr ? mapped : "";
}

// The registry's mappings by hand. A relative path is ignored: it would name
// a different file in every working directory.
std::map<int, std::string> RegistryMappings() {
    auto values = ComValues(kPortMapKey);
    std::erase_if(values, [](const auto& v) { return !v.second.starts_with('/'); });
    return values;
}

std::map<int, std::string> EnvironmentMappings() {
    std::map<int, std::string> values;
    for (int n = 1; n <= kMaxComNumber; ++n)
        if (std::string device = FromEnvironment(n); !device.empty()) values[n] = device;
    return values;
}

// One scan: the devices present and the numbers they have, with the numbers
// given for the first time written back.
struct SScan {
    std::vector<SSerialPort> present;
    SNumbering numbering;
};

SScan Scan(const std::map<int, std::string>& env, const std::map<int, std::string>& registry) {
    SNumberingInput input;
    input.present = ListSerialPorts();
    input.remembered = ComValues(kAutomaticPortsKey);
    for (const auto* mapped : {&env, &registry})
        for (const auto& [n, device] : *mapped) {
            input.explicitNumbers.insert(n);
            input.explicitDevices.insert(device);
        }
    SScan scan{input.present, AssignComNumbers(input)};
    if (!scan.numbering.added.empty()) {
        // Remembering is best effort: without a writable store the numbers
        // still hold for this scan.
        reg::CRegKey key;
        if (key.Create(reg::Root::CurrentUser, kAutomaticPortsKey) == reg::kSuccess)
            for (const auto& [n, path] : scan.numbering.added)
                key.SetStringValue(ComName(n), path);
    }
    return scan;
}

const SSerialPort* FindDevice(const std::vector<SSerialPort>& present, const std::string& device) {
    for (const auto& p : present)
        if (device == p.node || device == p.stablePath || device == UnderDeviceRoot(p.node))
            return &p;
    return nullptr;
}

SComPort Mapped(int n, ComSource source, const std::string& device,
                const std::vector<SSerialPort>& present) {
    SComPort port = MakePort(n, source, device);
    if (const SSerialPort* p = FindDevice(present, device)) {
        SetPresentDevice(port, *p);
    } else {
        port.description =
            source == ComSource::Environment ? "PALVEX_COM" + std::to_string(n) : "mapped by hand";
    }
    return port;
}

SComPort Automatic(int n, const SScan& scan) {
    SComPort port = MakePort(n, ComSource::Automatic);
    if (const auto found = scan.numbering.assigned.find(n);
        found != scan.numbering.assigned.end()) {
        const SSerialPort& p = scan.present[found->second];
        SetPresentDevice(port, p);
        if (p.console) {
            // Probe frames on the console would reach a login prompt or a
            // boot log, and leave the line at another speed.
            port.note = ComName(n) + " is " + p.name +
                        ", the system console, opened only when mapped by hand: PALVEX_" +
                        ComName(n) + "=" + p.node;
        } else {
            port.device = UnderDeviceRoot(p.node);
        }
        return port;
    }
    if (const auto kept = scan.numbering.remembered.find(n);
        kept != scan.numbering.remembered.end()) {
        port.stablePath = kept->second;
        port.description = "not plugged in";
        port.note = ComName(n) + " is kept for " + kept->second + ", which is not plugged in";
        return port;
    }
    port.source = ComSource::None;
    port.note = "no serial port has the number " + ComName(n);
    return port;
}

} // namespace

SComPort ResolveComPort(int n) {
    if (n < 1) return MakePort(n, ComSource::None, {}, "no port has a number below 1");
    if (std::string device = FromEnvironment(n); !device.empty())
        return MakePort(n, ComSource::Environment, device);
    const auto registry = RegistryMappings();
    if (const auto found = registry.find(n); found != registry.end())
        return MakePort(n, ComSource::Registry, found->second);
    return Automatic(n, Scan(EnvironmentMappings(), registry));
}

std::vector<SComPort> ListComPorts() {
    const auto env = EnvironmentMappings();
    const auto registry = RegistryMappings();
    const SScan scan = Scan(env, registry);
    std::map<int, SComPort> ports;
    for (const auto& [n, path] : scan.numbering.remembered)
        ports[n] = Automatic(n, scan);
    for (const auto& [n, index] : scan.numbering.assigned)
        ports[n] = Automatic(n, scan);
    for (const auto& [n, device] : registry) {
        SComPort mapped = Mapped(n, ComSource::Registry, device, scan.present);
        if (ports.contains(n)) mapped.note = "overrides the automatic " + ComName(n);
        ports[n] = std::move(mapped);
    }
    for (const auto& [n, device] : env) {
        SComPort mapped = Mapped(n, ComSource::Environment, device, scan.present);
        if (ports.contains(n))
            mapped.note =
                "overrides the " + std::string(ComSourceName(ports[n].source)) + " " + ComName(n);
        ports[n] = std::move(mapped);
    }
    return InNumberOrder(std::move(ports));
}

bool ForgetComPort(int n, std::string& message) {
    const std::string name = ComName(n);
    std::vector<std::string> released;
    for (const bool automatic : {true, false}) {
        std::string text;
        const ValueRelease done =
            ReleaseComValue(automatic ? kAutomaticPortsKey : kPortMapKey, n, text);
        if (done == ValueRelease::Absent) continue;
        if (done == ValueRelease::Failed) {
            message = "cannot change the port map: " + name + " stays";
            return false;
        }
        released.push_back(std::string(automatic ? "automatic" : "registry") + ": " + text);
    }
    if (released.empty()) {
        message = name + " is not in the port map";
        if (!FromEnvironment(n).empty())
            message += "; it comes from the environment (unset PALVEX_" + name + ")";
        else if (const SComPort p = ResolveComPort(n); p.port && p.port->onboard)
            message += "; " + p.port->name + " is an on-board port and keeps its own number";
        return false;
    }
    message = "forgot " + name + " (";
    for (std::size_t i = 0; i < released.size(); ++i)
        message += (i ? "; " : "") + released[i];
    message += ')';
    return true;
}

bool MapComPort(int n, const std::string& device, std::string& message) {
    if (!device.starts_with('/')) {
        message = "the device must be an absolute path: " + device;
        return false;
    }
    return WriteHandMapping(n, device, message);
}

} // namespace palvex::ports
