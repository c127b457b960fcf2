// A card behind a pair of Hayes modems: the local modem sits on a serial
// line; AT commands go out with SendModemCmd, and once the modems are
// connected frames travel as on a direct line, with ten attempts each.
#include "control/link/palvex_ctrl.h"
#include "control/protocol/modem_reply.h"
#include "platform/ports/port_map.h"

#include <cstdio>
#include <cstring>

using namespace palvex;

namespace {

constexpr unsigned kModemBaud = 57600;
constexpr int kBurstConstantMs = 100; // silence that ends a burst (plus 4 ms for the byte)
constexpr int kMaxCommandLength = 126;
constexpr std::size_t kAnswerSize = 128;
// Bytes a chattering modem may send beyond the answer buffer before the burst
// is ended anyway: the answer needs only its first lines.
constexpr int kMaxBurstBytes = 4096;

// Deadline for one byte read by a modem command: the line's time for the
// byte plus `waitMs`.
CDeadline ByteDeadline(int waitMs) {
    return CDeadline(CSerialLine::kPerByteMs + waitMs);
}

// Appends one byte at answer[n] when it still leaves room for the
// terminator; a byte that does not fit is dropped. Returns the new length.
std::size_t Append(char* answer, std::size_t n, std::uint8_t b) {
    if (n + 1 < kAnswerSize) answer[n++] = static_cast<char>(b);
    return n;
}

// Appends single bytes to answer[n..] until a read brings nothing; bytes
// beyond the buffer are read and dropped. Returns the new length; the text
// is always terminated inside the buffer.
std::size_t ReadBurst(CSerialLine& line, char* answer, std::size_t n, int* total) {
    std::uint8_t b;
    while (*total < kMaxBurstBytes && line.ReadExact(&b, 1, ByteDeadline(kBurstConstantMs)) == 1) {
        ++*total;
        n = Append(answer, n, b);
    }
    answer[n] = '\0';
    return n;
}

} // namespace

BOOL CPalvexCtrl::SendModemCmd(LONG_PTR lpCmdStr, LONG_PTR lpRetStr) {
    const char* cmdText = reinterpret_cast<const char*>(lpCmdStr);
    char* ret = reinterpret_cast<char*>(lpRetStr);
    if (ret == nullptr) return FALSE;
    ret[0] = '\0';
    if (cmdText == nullptr || !m_hComm.IsOpen()) return FALSE;
    const std::size_t len = strnlen(cmdText, kMaxCommandLength + 1);
    if (len > static_cast<std::size_t>(kMaxCommandLength)) return FALSE; // nothing written

    char command[kAnswerSize];
    std::snprintf(command, sizeof command, "%s%c", cmdText, '\r');
    const std::size_t commandLen = len + 1;

    // Each read is given its own deadline; the frames' wait time is not
    // touched, so the next exchange waits its full time again.
    m_hComm.Purge();
    m_hComm.Write(reinterpret_cast<const std::uint8_t*>(command), commandLen);

    char answer[kAnswerSize];
    int total = 0;
    std::size_t n = ReadBurst(m_hComm, answer, 0, &total);
    if (n == 0) return FALSE; // the modem said nothing at all

    if (std::strstr(answer, "OK") != nullptr) {
        std::memcpy(ret, answer, n + 1);
        return TRUE;
    }
    if (n != commandLen || std::memcmp(answer, command, commandLen) != 0) return FALSE;

    // Only the echo so far: the modem is still working on the command.
    std::uint8_t first;
    if (m_hComm.ReadExact(&first, 1, ByteDeadline(m_nModemSlowWaitMs)) != 1) return FALSE;
    // The echo of a command of full length already fills the buffer: the
    // answer is then dropped like any other byte that does not fit.
    n = Append(answer, n, first);
    n = ReadBurst(m_hComm, answer, n, &total);

    char normal[kAnswerSize + 2];
    NormalizeModemReply(answer, normal, sizeof normal);
    char line[kAnswerSize];
    if (!ModemReplyLine(normal, 0, line, sizeof line)) return FALSE;
    if (std::strstr(line, cmdText) != nullptr && !ModemReplyLine(normal, 1, line, sizeof line))
        return FALSE;
    if (std::strstr(line, "OK") != nullptr) return TRUE; // answer text stays empty
    std::memcpy(ret, line, std::strlen(line) + 1);
    return TRUE;
}

BOOL CPalvexCtrl::ModemInitial(short ModemPort, short WaitTime) {
    if (IsLinkOpen()) return FALSE;
    m_exchange.ClearLinkError();
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", ModemPort);
    const ports::SComPort port = ports::ResolveComPort(ModemPort);
    const std::string& device = port.device;
    if (device.empty()) {
        m_exchange.ReportLinkError(name, LinkOperation::Open,
                                   LinkError{LinkErrorKind::NoSuchDevice, 0}, port.note.c_str());
        return FALSE;
    }
    if (!m_hComm.Open(device, kModemBaud, name)) {
        m_exchange.ReportLinkError(name, LinkOperation::Open, m_hComm.LastError(),
                                   m_hComm.LastErrorDetail().c_str());
        return FALSE;
    }
    m_state.m_nWaitTime = WaitTime < 100 ? static_cast<short>(100) : WaitTime;
    m_state.m_nLinkKind = 2;

    static const char kFactoryReset[] = "AT&F0";
    char answer[kAnswerSize];
    if (!SendModemCmd(reinterpret_cast<LONG_PTR>(kFactoryReset),
                      reinterpret_cast<LONG_PTR>(answer))) {
        m_hComm.Close();
        return FALSE;
    }
    m_hComm.SetMaxAttempts(10);
    m_exchange.Attach(&m_hComm);
    return TRUE;
}
