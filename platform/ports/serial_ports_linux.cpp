// The serial devices present, read from sysfs and /dev: the kernel lists every
// tty in /sys/class/tty, and only those with a device behind them are ports.
#include "platform/ports/serial_ports.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace palvex::ports {

namespace {

// The names in a directory, sorted; none when it cannot be read. Iterates
// with error codes: the listing runs inside the control's methods, which
// must not throw.
std::vector<std::string> Names(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The first line of a small sysfs file, without its newline; "" when absent.
std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (in) std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The last component of where a link leads ("ftdi_sio" for a driver link).
std::string LinkTargetName(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

// The driver behind a tty's device. Newer kernels put a "port" device of the
// serial core's own bus (under a "ctrl" one) between the tty and the UART's
// driver: those are passed by for the driver that names the hardware.
std::string DriverOf(const fs::path& deviceDir) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec) return LinkTargetName(deviceDir / "driver");
    std::string name;
    for (int depth = 0; depth < 3 && dir.has_parent_path(); ++depth, dir = dir.parent_path()) {
        name = LinkTargetName(dir / "driver");
        if (!name.empty() && name != "port" && name != "ctrl") return name;
    }
    return name;
}

// The names of the active system consoles ("tty0 ttyS0").
std::set<std::string> ActiveConsoles(const std::string& root) {
    std::istringstream words(ReadLine(root + "/sys/class/tty/console/active"));
    std::set<std::string> names;
    for (std::string w; words >> w;)
        names.insert(w);
    return names;
}

// ttyS<k>: the on-board UART's index k, or -1 for any other name.
int OnboardIndex(const std::string& name) {
    if (!name.starts_with("ttyS") || name.size() == 4 || name.size() > 7) return -1;
    int k = 0;
    for (char c : name.substr(4)) {
        if (c < '0' || c > '9') return -1;
        k = k * 10 + (c - '0');
    }
    return k;
}

// The USB device a tty hangs under: the nearest ancestor of its device
// directory that carries a vendor id. Stops at the sysfs root.
void ReadUsbIdentity(const fs::path& deviceDir, const fs::path& sysRoot, SSerialPort& port) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceDir, ec);
    if (ec) return;
    for (int depth = 0; depth < 8 && dir.has_parent_path() && dir != sysRoot; ++depth) {
        if (fs::exists(dir / "idVendor", ec)) {
            port.vendorId = ReadLine(dir / "idVendor");
            port.productId = ReadLine(dir / "idProduct");
            port.manufacturer = ReadLine(dir / "manufacturer");
            port.product = ReadLine(dir / "product");
            port.serialNumber = ReadLine(dir / "serial");
            return;
        }
        dir = dir.parent_path();
    }
}

// The udev links of each device node, by where they lead: by-id first, then
// by-path, each listed in name order so that the choice is repeatable.
std::vector<std::pair<fs::path, std::string>> StableLinks(const std::string& root) {
    std::vector<std::pair<fs::path, std::string>> links;
    for (const char* kind : {"by-id", "by-path"}) {
        std::error_code ec;
        for (const auto& n : Names(root + "/dev/serial/" + kind)) {
            const fs::path target =
                fs::weakly_canonical(root + "/dev/serial/" + kind + "/" + n, ec);
            if (!ec) links.emplace_back(target, std::string("/dev/serial/") + kind + "/" + n);
        }
    }
    return links;
}

} // namespace

std::vector<SSerialPort> ListSerialPorts() {
    const std::string root = DeviceRoot();
    std::error_code ec;
    const fs::path sysRoot = fs::weakly_canonical(root + "/sys", ec);
    const auto consoles = ActiveConsoles(root);
    const auto links = StableLinks(root);
    std::vector<SSerialPort> ports;
    for (const auto& name : Names(root + "/sys/class/tty")) {
        const fs::path dir = root + "/sys/class/tty/" + name;
        // Virtual terminals, ptys and the console have no device behind them.
        if (!fs::exists(dir / "device", ec)) continue;
        SSerialPort port;
        port.name = name;
        // An 8250 slot that found no UART answers nothing; opening it fails.
        if (fs::exists(dir / "type", ec) && ReadLine(dir / "type") == "0") continue;
        port.node = "/dev/" + port.name;
        port.driver = DriverOf(dir / "device");
        port.console = consoles.contains(port.name);
        ReadUsbIdentity(dir / "device", sysRoot, port);
        port.onboardIndex = port.IsUsb() ? -1 : OnboardIndex(port.name);
        port.onboard = port.onboardIndex >= 0;
        port.stablePath = port.node;
        const fs::path nodeTarget = fs::weakly_canonical(root + port.node, ec);
        if (!ec) {
            const auto found = std::find_if(links.begin(), links.end(),
                                            [&](const auto& l) { return l.first == nodeTarget; });
            if (found != links.end()) port.stablePath = found->second;
        }
        ports.push_back(std::move(port));
    }
    return ports; // in name order, as listed
}

} // namespace palvex::ports
