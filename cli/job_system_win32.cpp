// The jobs' system calls on Windows: Winsock's name lookup, and the console
// as the terminal, with its escape sequences turned on where the console
// has them (Windows 10 and later); an older console gets the report a line
// at a time, as a file or pipe does.
// Winsock's headers before any that includes windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "cli/job_system.h"

#include "platform/os/text_win32.h"

#include <io.h>
#include <windows.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace palvex::cli {
namespace {

// Winsock for the lookup, started for as long as it takes.
class CWinsock {
  public:
    CWinsock() { m_started = WSAStartup(MAKEWORD(2, 2), &m_data) == 0; }
    ~CWinsock() {
        if (m_started) WSACleanup();
    }
    CWinsock(const CWinsock&) = delete;
    CWinsock& operator=(const CWinsock&) = delete;
    bool Started() const { return m_started; }

  private:
    WSADATA m_data{};
    bool m_started = false;
};

} // namespace

std::filesystem::path PathOfWord(const std::string& word) {
    return os::WideOf(word);
}

std::string DottedAddress(const std::string& host) {
    const CWinsock winsock;
    if (!winsock.Started()) return {};
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    ADDRINFOW* found = nullptr;
    if (GetAddrInfoW(os::WideOf(host).c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return {};
    const auto* a = reinterpret_cast<const unsigned char*>(
        &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr);
    const std::string text = std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
                             std::to_string(a[2]) + "." + std::to_string(a[3]);
    FreeAddrInfoW(found);
    return text;
}

bool RedrawableTerminal(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

} // namespace palvex::cli
