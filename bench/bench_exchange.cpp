// Acknowledged exchanges per second against the simulated card, over a pty
// and over TCP, each beside the raw round trip of the same byte counts on the
// same kind of channel with no protocol at all (the limit the exchange can
// approach); and frames built per second in capture mode through the
// dispatch table. After the runs the two ratios are printed.
#include "bench/channels.h"
#include "control/automation/dispatch_table.h"
#include "control/link/palvex_ctrl.h"
#include "sim/card_server.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr short kBaud57600 = static_cast<short>(0xE100);

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

// The same byte counts with no protocol: kZFrame out, kZAck back.
void RawRoundTrips(benchmark::State& state, bench::FdPair& pair) {
    bench::CEchoPeer peer(pair.b);
    unsigned char reply[bench::kReplyLen];
    for (auto _ : state) {
        bench::WriteAll(pair.a, bench::kZFrame, bench::kFrameLen);
        if (!bench::ReadAll(pair.a, reply, bench::kReplyLen)) state.SkipWithError("no reply");
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RawRoundTripPty(benchmark::State& state) {
    bench::FdPair pair;
    if (!bench::OpenPtyPair(pair, 57600)) {
        state.SkipWithError("no pty");
        return;
    }
    RawRoundTrips(state, pair);
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
    bench::FdPair pair;
    if (!bench::OpenTcpPair(pair)) {
        state.SkipWithError("no loopback connection");
        return;
    }
    RawRoundTrips(state, pair);
}

// The control's exchange against the bare echo peer instead of cardsim: how
// much of the gap to the raw round trip is the control's own.
void BM_AckExchangeTcpEchoPeer(benchmark::State& state) {
    unsigned port = 0;
    const int listener = bench::ListenLoopback(&port);
    CPalvexCtrl ctrl;
    if (listener < 0 || !ctrl.NetInitial(0, 0x7F000001, static_cast<short>(port), 1000) ||
        !ctrl.SetLedProperty(1, 256, 64)) {
        state.SkipWithError("cannot connect");
        return;
    }
    const int conn = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    const int one = 1;
    ::setsockopt(conn, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    {
        bench::CEchoPeer peer(conn);
        for (auto _ : state)
            if (!ctrl.Reset()) state.SkipWithError("exchange failed");
        state.SetItemsProcessed(state.iterations());
    }
    ctrl.QKClose();
    ::close(conn);
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
BENCHMARK(BM_AckExchangeTcpEchoPeer)->UseRealTime()->MinTime(1.0);
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
