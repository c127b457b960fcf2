#include "platform/ports/serial_ports.h"

#include <cstdlib>

namespace palvex::ports {

std::string SSerialPort::Description() const {
    std::string text;
    if (IsUsb()) {
        text = manufacturer;
        if (!product.empty()) text += (text.empty() ? "" : " ") + product;
        if (text.empty()) text = "USB serial adapter";
        text += " (" + vendorId + ':' + productId;
        if (!serialNumber.empty()) text += ", serial " + serialNumber;
        text += ')';
    } else if (onboard) {
        text = "on-board serial port";
    } else {
        text = "serial device";
    }
    if (!driver.empty()) text += ", " + driver;
    if (console) text += ", system console";
    return text;
}

std::string DeviceRoot() {
    const char* root = std::getenv("PALVEX_DEVICE_ROOT");
    if (root == nullptr || *root == '\0') return {};
    std::string path = root;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path == "/" ? std::string() : path;
}

std::string UnderDeviceRoot(const std::string& path) {
    return DeviceRoot() + path;
}

} // namespace palvex::ports
