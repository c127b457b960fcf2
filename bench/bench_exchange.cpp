// Acknowledged exchanges per second against the simulated card, over a pty
// and over TCP, each beside the raw round trip of the same byte counts on the
// same kind of channel with no protocol at all (the limit the exchange can
// approach); and frames built per second in capture mode through the
// dispatch table. After the runs the two ratios are printed.
#include "control/automation/dispatch_table.h"
#include "control/link/linux_termios2.h"
#include "control/link/palvex_ctrl.h"
#include "sim/card_server.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t kFrameLen = 12; // "Z" frame
constexpr std::size_t kReplyLen = 6;  // its acknowledgement
constexpr short kBaud57600 = static_cast<short>(0xE100);

bool ReadAll(int fd, unsigned char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, buf + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            continue;
        }
        if (r == 0) return false;
        if (errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0) return false;
    }
    return true;
}

bool WriteAll(int fd, const unsigned char* buf, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, buf + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 1000);
    }
    return true;
}

// A peer that answers every kFrameLen bytes with kReplyLen bytes, and nothing else.
class CEchoPeer {
public:
    explicit CEchoPeer(int fd) : m_fd(fd), m_thread([this] { Loop(); }) {}
    ~CEchoPeer() {
        m_stop = true;
        m_thread.join();
    }

private:
    void Loop() {
        unsigned char frame[kFrameLen];
        const unsigned char reply[kReplyLen] = {5, 'Z', 0xC8, 0x8E, 'O', 'K'};
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            if (!ReadAll(m_fd, frame, kFrameLen)) return;
            WriteAll(m_fd, reply, kReplyLen);
        }
    }
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::string LinkPath() {
    return (std::filesystem::temp_directory_path() / ("palvex-bench-" + std::to_string(::getpid())))
        .string();
}

void BM_AckExchangePty(benchmark::State& state) {
    cardsim::CardConfig card;
    card.baud = 57600;
    cardsim::CCardServer server(card);
    const std::string path = LinkPath();
    if (!server.ServePty(path) || !server.Start()) {
        state.SkipWithError("no pty");
        return;
    }
    ::setenv("PALVEX_COM12", path.c_str(), 1);
    CPalvexCtrl ctrl;
    if (!ctrl.ComInitial(12, kBaud57600, 1000) || !ctrl.SetLedProperty(1, 256, 64)) {
        state.SkipWithError("cannot open the simulated card");
        return;
    }
    for (auto _ : state)
        if (!ctrl.Reset()) state.SkipWithError("exchange failed");
    state.SetItemsProcessed(state.iterations());
    ctrl.QKClose();
}

void BM_RawRoundTripPty(benchmark::State& state) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ::grantpt(master);
    ::unlockpt(master);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    palvex::MakeRawNoSpeedChange(master);
    palvex::SetRaw8N1(slave, 57600);
    {
        CEchoPeer peer(master);
        unsigned char frame[kFrameLen] = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0, 1, 'Z', 0xC8, 0x8E};
        unsigned char reply[kReplyLen];
        for (auto _ : state) {
            WriteAll(slave, frame, kFrameLen);
            if (!ReadAll(slave, reply, kReplyLen)) state.SkipWithError("no reply");
        }
        state.SetItemsProcessed(state.iterations());
    }
    ::close(slave);
    ::close(master);
}

void BM_AckExchangeTcp(benchmark::State& state) {
    cardsim::CCardServer server{cardsim::CardConfig{}};
    if (!server.ServeTcp(0) || !server.Start()) {
        state.SkipWithError("no listener");
        return;
    }
    CPalvexCtrl ctrl;
    if (!ctrl.NetInitial(0, 0x7F000001, static_cast<short>(server.TcpPort()), 1000) ||
        !ctrl.SetLedProperty(1, 256, 64)) {
        state.SkipWithError("cannot connect");
        return;
    }
    for (auto _ : state)
        if (!ctrl.Reset()) state.SkipWithError("exchange failed");
    state.SetItemsProcessed(state.iterations());
    ctrl.QKClose();
}

void BM_RawRoundTripTcp(benchmark::State& state) {
    int pair[2];
    // A connected loopback pair through a real listener, like the control's link.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::listen(listener, 1);
    socklen_t len = sizeof sa;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len);
    pair[0] = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(pair[0], reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    pair[1] = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    const int one = 1;
    for (int fd : pair) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    {
        CEchoPeer peer(pair[1]);
        unsigned char frame[kFrameLen] = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0, 1, 'Z', 0xC8, 0x8E};
        unsigned char reply[kReplyLen];
        for (auto _ : state) {
            WriteAll(pair[0], frame, kFrameLen);
            if (!ReadAll(pair[0], reply, kReplyLen)) state.SkipWithError("no reply");
        }
        state.SetItemsProcessed(state.iterations());
    }
    ::close(pair[0]);
    ::close(pair[1]);
}

void BM_CaptureFramesThroughDispatch(benchmark::State& state) {
    CPalvexCtrl ctrl;
    ctrl.SetSendFlag(0);
    ctrl.SetLedProperty(1, 256, 64);
    static const char config[] = "20004081";
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_ADDR;
    arg.llVal = reinterpret_cast<std::intptr_t>(config);
    DISPPARAMS params{&arg, nullptr, 1, 0};
    VARIANT result;
    for (auto _ : state) {
        palvex::InvokeMethod(ctrl, 38, DISPATCH_METHOD, &params, &result, nullptr);
        benchmark::DoNotOptimize(result.boolVal);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_AckExchangePty)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_RawRoundTripPty)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_AckExchangeTcp)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_RawRoundTripTcp)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_CaptureFramesThroughDispatch);

// Keeps each benchmark's rate so the ratios can be printed at the end.
class CRateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred && r.real_accumulated_time > 0)
                m_rates[r.run_name.function_name] =
                    static_cast<double>(r.iterations) / r.real_accumulated_time;
    }
    double Rate(const std::string& name) const {
        const auto it = m_rates.find(name);
        return it == m_rates.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> m_rates;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CRateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ratio = [&](const char* what, const char* exchange, const char* raw) {
        const double e = reporter.Rate(exchange), r = reporter.Rate(raw);
        if (e > 0 && r > 0)
            std::printf("%-42s %8.0f /s vs raw %8.0f /s  ratio %.2f\n", what, e, r, e / r);
    };
    std::printf("\n");
    ratio("acknowledged exchanges over a pty:", "BM_AckExchangePty", "BM_RawRoundTripPty");
    ratio("acknowledged exchanges over TCP:", "BM_AckExchangeTcp", "BM_RawRoundTripTcp");
    if (const double c = reporter.Rate("BM_CaptureFramesThroughDispatch"); c > 0)
        std::printf("%-42s %8.0f /s\n", "frames built in capture mode (dispatch):", c);
    benchmark::Shutdown();
    return 0;
}
