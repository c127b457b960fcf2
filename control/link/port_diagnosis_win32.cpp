// The details of a refused serial port on Windows: what the refusal means,
// with the port's own name where it has one. Windows does not tell which
// program holds a port.
#include "control/link/port_diagnosis.h"

#include <string>

namespace palvex {

namespace {

// "COM3" for "\\.\COM3"; the path itself for any other.
std::string PortName(const std::string& path) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (path.starts_with(kDevicePrefix)) return path.substr(kDevicePrefix.size());
    return path;
}

} // namespace

std::string OpenFailureDetail(const std::string& path, const LinkError& error, unsigned baud) {
    const std::string name = PortName(path);
    switch (error.kind) {
    case LinkErrorKind::NoSuchDevice:
        return path + " does not exist";
    case LinkErrorKind::Busy:
        return name + " is in use by another program";
    case LinkErrorKind::PermissionDenied:
        return path + ": access denied";
    case LinkErrorKind::NotASerialDevice:
        return path + " is not a serial port";
    case LinkErrorKind::SpeedRefused:
        return name + " does not take " + std::to_string(baud) + " bit/s";
    default:
        return path;
    }
}

} // namespace palvex
