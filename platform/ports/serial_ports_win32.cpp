// The serial ports Windows knows: the values of
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, each a device name
// ("\Device\Serial0", "\Device\VCP0") holding the port's COM name. Ports
// that are not plugged in are not listed there.
#include "platform/ports/serial_ports.h"

#include "platform/os/text_win32.h"

#include <windows.h>

#include <algorithm>

namespace palvex::ports {

namespace {

constexpr wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The text of a REG_SZ value, without the terminating zeros.
std::wstring Text(const std::vector<wchar_t>& data, DWORD bytes) {
    std::wstring text(data.data(), bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

} // namespace

std::vector<SSerialPort> ListSerialPorts() {
    std::vector<SSerialPort> ports;
    HKEY key = nullptr;
    // Read access alone: the key belongs to the system.
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return ports;
    std::vector<wchar_t> name(16384), data(1024);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        const LSTATUS rc = ::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type,
                                           reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        SSerialPort port;
        std::string device, com;
        if (!os::Utf8FromWide(std::wstring_view(name.data(), nameLength), device) ||
            !os::Utf8FromWide(Text(data, bytes), com) || com.empty())
            continue;
        // "\Device\Serial0" is known as "Serial0".
        const std::size_t slash = device.find_last_of('\\');
        port.name = slash == std::string::npos ? device : device.substr(slash + 1);
        port.node = "\\\\.\\" + com;
        port.stablePath = device;
        ports.push_back(std::move(port));
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const SSerialPort& a, const SSerialPort& b) { return a.name < b.name; });
    return ports;
}

} // namespace palvex::ports
