// Which device file stands for serial port COMn.
//
// Windows numbers its own ports: COMn opens \\.\COMn, unless the value COM<n>
// under HKEY_CURRENT_USER\SOFTWARE\Palvex\Ports maps it by hand to a device
// path (\\.\...) or to another COM name. The ports present are those the
// system lists under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM.
//
// Linux, in this order:
//   1. PALVEX_COM<n> from the environment, when set and not empty;
//   2. the value COM<n> under HKEY_CURRENT_USER\SOFTWARE\Palvex\Ports, when
//      it holds an absolute path (mapped by hand);
//   3. the automatic number of a serial device present (see com_numbers.h).
//      Numbers given to adapters are remembered by the adapter's stable path
//      under ...\Ports\Automatic. The active system console is never opened
//      through an automatic number.
#pragma once

#include "platform/ports/serial_ports.h"

#include <optional>
#include <string>
#include <vector>

namespace palvex::ports {

constexpr const char* kPortMapKey = "SOFTWARE\\Palvex\\Ports";
constexpr const char* kAutomaticPortsKey = "SOFTWARE\\Palvex\\Ports\\Automatic";
// The highest COM number looked for in the environment and the registry.
constexpr int kMaxComNumber = 256;

// System: the number Windows gave the port itself.
enum class ComSource { None, Environment, Registry, Automatic, System };
// "environment", "registry", "automatic", "system"
const char* ComSourceName(ComSource source);

struct SComPort {
    int number = 0;
    ComSource source = ComSource::None;
    std::string device; // the file to open; "" when COMn opens nothing
    std::string stablePath;
    std::string description;
    std::string note; // why `device` is empty, or what else to know
    bool present = false;
    std::optional<SSerialPort> port; // the device behind the number, when present
};

// COMn as the control opens it. Gives numbers to adapters seen for the first
// time and remembers them. n < 1 gives an empty device.
SComPort ResolveComPort(int n);
std::string ResolveComDevice(int n);

// Every COM number that means something now, sorted: mapped in the
// environment or the registry, given automatically to a device present, or
// kept for an adapter that is not plugged in.
std::vector<SComPort> ListComPorts();

// Releases COMn from the per-user map: the automatic memory and the mapping
// by hand. False with a message when there is nothing to release.
bool ForgetComPort(int n, std::string& message);
// Maps COMn by hand to `device` (an absolute path; on Windows a device path
// \\.\... or a COM name).
bool MapComPort(int n, const std::string& device, std::string& message);

// "COM3" -> 3; 0 for anything else.
int ParseComName(const std::string& text);
// 3 -> "COM3".
std::string ComName(int n);

} // namespace palvex::ports
