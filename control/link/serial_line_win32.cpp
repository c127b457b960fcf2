// The serial line through the Win32 communications calls: the port opened
// with no sharing, its DCB and time-outs kept on open and given back on close,
// reads and writes bounded by the time-outs of the port.
#include "control/link/serial_line.h"

#include "control/link/port_diagnosis.h"
#include "control/link/win32_errors.h"
#include "control/protocol/deadline.h"
#include "platform/os/text_win32.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace palvex {

namespace {

// The port's own queues: a whole reply fits the input, a whole picture step
// frame the output.
constexpr DWORD kInputQueue = 512;
constexpr DWORD kOutputQueue = 1356;

// The settings kept while the control has the port: the DCB and the
// time-outs, exactly as the port reported them.
struct SWinLineSettings {
    DCB dcb;
    COMMTIMEOUTS timeouts;
};
static_assert(sizeof(SWinLineSettings) <= SSavedLineSettings::kCapacity,
              "the saved line settings hold a DCB and its time-outs");
static_assert(alignof(SWinLineSettings) <= 8, "the saved line settings are 8-byte aligned");

SWinLineSettings& Settings(SSavedLineSettings& saved) {
    return *reinterpret_cast<SWinLineSettings*>(saved.bytes);
}

} // namespace

struct CSerialLine::SOpenPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts{}; // as last set, so unchanged ones are not set again
    ~SOpenPort() {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
    // Sets the time-outs when they differ from those last set.
    bool SetTimeouts(const COMMTIMEOUTS& wanted) {
        if (std::memcmp(&wanted, &timeouts, sizeof wanted) == 0) return true;
        if (!::SetCommTimeouts(handle, const_cast<COMMTIMEOUTS*>(&wanted))) return false;
        timeouts = wanted;
        return true;
    }
};

void CSerialLine::SOpenPortDeleter::operator()(SOpenPort* port) const {
    delete port;
}

// Windows has no descriptor for a port.
int CSerialLine::Descriptor() const {
    return -1;
}

bool CSerialLine::FailOpen(const std::string& path, unsigned baud, LinkError why) {
    m_lastError = why;
    m_strErrorDetail = OpenFailureDetail(path, why, baud);
    return false;
}

bool CSerialLine::Open(const std::string& path, unsigned baud, const char* name) {
    Close();
    m_lastError = {};
    m_strErrorDetail.clear();
    std::wstring widePath;
    if (!os::WideFromUtf8(path, widePath))
        return FailOpen(path, baud, LinkError{LinkErrorKind::NoSuchDevice, ENOENT});
    // No sharing: a second open, from this process or another, is refused
    // while the control holds the port.
    auto port = std::make_unique<SOpenPort>();
    port->handle = ::CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (port->handle == INVALID_HANDLE_VALUE)
        return FailOpen(path, baud, LinkErrorFromWin32(LinkOperation::Open, ::GetLastError()));
    // The settings as found, before anything changes them: Close, and every
    // failure from here on, sets them back. A device that has no DCB is not a
    // serial port.
    SSavedLineSettings saved;
    SWinLineSettings& found = Settings(saved);
    if (::GetFileType(port->handle) != FILE_TYPE_CHAR ||
        !::GetCommState(port->handle, &found.dcb) ||
        !::GetCommTimeouts(port->handle, &found.timeouts))
        return FailOpen(path, baud, LinkError{LinkErrorKind::NotASerialDevice, ENOTTY});
    saved.saved = true;
    port->timeouts = found.timeouts;
    auto restoreAndFail = [&](LinkError why) {
        ::SetCommState(port->handle, &found.dcb);
        ::SetCommTimeouts(port->handle, &found.timeouts);
        return FailOpen(path, baud, why);
    };
    if (!::SetupComm(port->handle, kInputQueue, kOutputQueue))
        return restoreAndFail(LinkError{LinkErrorKind::NotASerialDevice, ENOTTY});
    // 8 data bits, no parity, one stop bit at exactly `baud`, binary, no
    // XON/XOFF; hardware flow control stays as the port has it.
    DCB dcb = found.dcb;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    DCB set{};
    set.DCBlength = sizeof set;
    if (!::SetCommState(port->handle, &dcb) || !::GetCommState(port->handle, &set) ||
        set.BaudRate != baud)
        return restoreAndFail(LinkError{LinkErrorKind::SpeedRefused, EINVAL});
    // Reads wait 4 ms per byte plus a constant, with no interval limit;
    // ReadExact sets the constant from its deadline before each read.
    COMMTIMEOUTS timeouts = found.timeouts;
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = kPerByteMs;
    timeouts.ReadTotalTimeoutConstant = 100;
    if (!port->SetTimeouts(timeouts))
        return restoreAndFail(LinkErrorFromWin32(LinkOperation::Open, ::GetLastError()));
    ::PurgeComm(port->handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    m_port.reset(port.release());
    m_savedLine = saved;
    m_nBaud = baud;
    m_strName = name;
    return true;
}

void CSerialLine::Close() {
    if (!m_port) return;
    // Give the port back as it was found. Output still queued is dropped
    // first, so a line stopped by flow control cannot hold the close.
    const SWinLineSettings& found = Settings(m_savedLine);
    ::PurgeComm(m_port->handle, PURGE_TXABORT | PURGE_TXCLEAR);
    if (m_savedLine.saved) {
        DCB dcb = found.dcb;
        COMMTIMEOUTS timeouts = found.timeouts;
        ::SetCommState(m_port->handle, &dcb);
        ::SetCommTimeouts(m_port->handle, &timeouts);
    }
    m_savedLine = {};
    m_port.reset();
}

void CSerialLine::Purge() {
    if (!m_port) return;
    ::PurgeComm(m_port->handle, PURGE_TXCLEAR | PURGE_RXCLEAR);
}

bool CSerialLine::Write(const std::uint8_t* data, std::size_t n) {
    m_lastError = {};
    if (!m_port) return Fail(LinkError{LinkErrorKind::Disconnected, EBADF});
    // Twice the wire time of the frame plus a second: ample for a working
    // line, and a bound when flow control or a lost device holds the output.
    const std::int64_t wireMs = m_nBaud ? static_cast<std::int64_t>(n) * 10 * 1000 / m_nBaud : 0;
    CDeadline deadline(2 * wireMs + 1000);
    std::size_t done = 0;
    while (done < n) {
        const int left = deadline.RemainingMs();
        if (left == 0) return Fail(LinkError{LinkErrorKind::TimedOut, 0});
        COMMTIMEOUTS timeouts = m_port->timeouts;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(left);
        if (!m_port->SetTimeouts(timeouts))
            return Fail(LinkErrorFromWin32(LinkOperation::Write, ::GetLastError()));
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, 1u << 20));
        if (!::WriteFile(m_port->handle, data + done, chunk, &written, nullptr))
            return Fail(LinkErrorFromWin32(LinkOperation::Write, ::GetLastError()));
        done += written;
    }
    // Return once the bytes have left the driver.
    ::FlushFileBuffers(m_port->handle);
    return true;
}

std::size_t CSerialLine::ReadExact(std::uint8_t* buf, std::size_t n, const CDeadline& deadline) {
    m_lastError = {};
    if (!m_port) {
        Fail(LinkError{LinkErrorKind::Disconnected, EBADF});
        return 0;
    }
    std::size_t got = 0;
    while (got < n) {
        const int left = deadline.RemainingMs();
        if (left == 0) return ShortRead(got, LinkError{LinkErrorKind::TimedOut, 0});
        // The port's own bound is 4 ms per byte still wanted plus a constant;
        // the constant takes what is left of the deadline beyond that, so
        // one read ends when the deadline does.
        const std::size_t wanted = std::min<std::size_t>(n - got, 1u << 20);
        const std::int64_t perBytes = static_cast<std::int64_t>(wanted) * kPerByteMs;
        COMMTIMEOUTS timeouts = m_port->timeouts;
        timeouts.ReadIntervalTimeout = 0;
        timeouts.ReadTotalTimeoutMultiplier = kPerByteMs;
        timeouts.ReadTotalTimeoutConstant =
            static_cast<DWORD>(std::max<std::int64_t>(1, left - perBytes));
        if (left < perBytes) { // less time left than the bytes take: the deadline rules
            timeouts.ReadTotalTimeoutMultiplier = 0;
            timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(left);
        }
        if (!m_port->SetTimeouts(timeouts))
            return ShortRead(got, LinkErrorFromWin32(LinkOperation::Read, ::GetLastError()));
        DWORD read = 0;
        if (!::ReadFile(m_port->handle, buf + got, static_cast<DWORD>(wanted), &read, nullptr))
            return ShortRead(got, LinkErrorFromWin32(LinkOperation::Read, ::GetLastError()));
        got += read;
    }
    return got;
}

} // namespace palvex
