#include "sim_test_support.h"

#include "control/protocol/crc16.h"
#include "control/protocol/frame.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simtest {

Bytes Hex(std::string_view text) {
    Bytes out;
    int hi = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(hi << 4 | v));
            hi = -1;
        }
    }
    return out;
}

std::string ToHex(const Bytes& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t b : bytes) {
        if (!s.empty()) s += ' ';
        s += kHex[b >> 4];
        s += kHex[b & 0x0F];
    }
    return s;
}

Bytes MakeFrame(int card, const Bytes& payload) {
    std::uint16_t table[256];
    palvex::FillCrcTable(table);
    Bytes frame(payload.size() + palvex::kFrameOverhead);
    palvex::BuildFrame(table, card, payload.data(), payload.size(), frame.data());
    return frame;
}

Bytes ReadUpTo(int fd, std::size_t n, int waitMs) {
    Bytes out;
    std::uint8_t buf[512];
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, waitMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        const std::size_t want = std::min(sizeof buf, n - out.size());
        const ssize_t got = ::read(fd, buf, want);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (got <= 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

Bytes ReadAvailable(int fd) {
    Bytes out;
    std::uint8_t buf[512];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) break;
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got <= 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

bool WriteAll(int fd, const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, kWaitMs) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

bool PeerClosed(int fd, int waitMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) return false;
    std::uint8_t b;
    return ::read(fd, &b, 1) == 0;
}

cardsim::CUniqueFd ConnectLoopback(unsigned port) {
    cardsim::CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd && ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        fd.Reset();
    return fd;
}

void CLogWatch::Attach(cardsim::CCardServer& server) {
    server.SetLogSink([this](const std::string& line) {
        {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        }
        m_cv.notify_all();
    });
}

int CLogWatch::CountLocked(std::string_view text) const {
    int n = 0;
    for (const std::string& line : m_lines)
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

bool CLogWatch::WaitFor(std::string_view text, int count, int waitMs) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(waitMs),
                         [&] { return CountLocked(text) >= count; });
}

std::vector<std::string> CLogWatch::Lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

CTempDir::CTempDir() {
    char tmpl[] = "/tmp/cardsim-test-XXXXXX";
    if (::mkdtemp(tmpl) != nullptr) m_path = tmpl;
}

CTempDir::~CTempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

} // namespace simtest
