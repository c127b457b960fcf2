// The serial devices present on this machine, as the operating system
// describes them: the node, a path that stays the same across replugging,
// the driver and, for USB adapters, the adapter's own identification.
#pragma once

#include <string>
#include <vector>

namespace palvex::ports {

struct SSerialPort {
    std::string name;       // "ttyUSB0"
    std::string node;       // "/dev/ttyUSB0", as the system names it
    std::string stablePath; // "/dev/serial/by-id/...", else by-path, else the node
    std::string driver;     // "ftdi_sio", "cdc_acm", "serial8250"; "" when unknown
    bool onboard = false;   // an on-board UART, ttyS<onboardIndex>
    int onboardIndex = -1;
    bool console = false; // the active system console
    // USB adapters only.
    std::string vendorId, productId, manufacturer, product, serialNumber;

    bool IsUsb() const { return !vendorId.empty(); }
    // One line for people: "FTDI FT232R USB UART (0403:6001, serial A10K)",
    // "on-board serial port"; then the driver and, for the console, a warning.
    std::string Description() const;
};

// The directory that stands for "/" when the device tree is looked up:
// PALVEX_DEVICE_ROOT when set and not empty (a fake tree for tests), else "".
std::string DeviceRoot();
// `path` (absolute, as the system names it) inside the device root.
std::string UnderDeviceRoot(const std::string& path);

// Every serial device present, sorted by name. On-board ports without a UART
// (an 8250 slot whose type is 0) are left out; so are virtual terminals.
std::vector<SSerialPort> ListSerialPorts();

} // namespace palvex::ports
