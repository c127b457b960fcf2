#include "sim_test_support.h"

#include "control/protocol/crc16.h"
#include "control/protocol/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

cardsim::CardAnswer AnswerFrame(cardsim::CCardModel& card, const Bytes& frame,
                                const cardsim::CivilTime& now) {
    cardsim::CFrameParser parser;
    auto frames = parser.Feed(frame.data(), frame.size());
    EXPECT_EQ(frames.size(), 1u);
    if (frames.empty()) return {};
    return card.Answer(frames[0], now);
}

CCardsimProcess::~CCardsimProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool CCardsimProcess::Spawn(const std::string& program, std::vector<std::string> args,
                            bool mergeErrors) {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return false;
    m_out.Reset(outPipe[0]);
    cardsim::CUniqueFd outW(outPipe[1]), errW;
    if (!mergeErrors) {
        if (::pipe2(errPipe, O_CLOEXEC) != 0) return false;
        m_err.Reset(errPipe[0]);
        errW.Reset(errPipe[1]);
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, outW.Get(), 1);
    posix_spawn_file_actions_adddup2(&fa, mergeErrors ? outW.Get() : errW.Get(), 2);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&m_pid, program.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) m_pid = -1;
    return rc == 0;
}

bool CCardsimProcess::WaitForOutput(std::string_view text) {
    while (m_output.find(text) == std::string::npos) {
        const Bytes got = ReadUpTo(m_out.Get(), 1, kProcessWaitMs);
        if (got.empty()) return false;
        m_output.append(got.begin(), got.end());
    }
    return true;
}

bool CCardsimProcess::WaitForLines(int lines) {
    while (std::count(m_output.begin(), m_output.end(), '\n') < lines) {
        const Bytes got = ReadUpTo(m_out.Get(), 1, kProcessWaitMs);
        if (got.empty()) return false;
        m_output.append(got.begin(), got.end());
    }
    return true;
}

std::string CCardsimProcess::ErrorText() {
    const Bytes err = ReadUpTo(m_err.Get(), 4096, 100);
    return std::string(err.begin(), err.end());
}

int CCardsimProcess::Wait() {
    for (int waited = 0; waited < kProcessWaitMs; waited += 5) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        ::poll(nullptr, 0, 5);
    }
    return -1;
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
