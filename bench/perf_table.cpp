// One table of the figures that say how close the control comes to the
// limits of its channels: acknowledged exchanges against the simulated card
// beside the raw round trip of the same bytes, 64 controls on 64 threads
// beside 64 raw clients (many_links.h), a full picture page against the wire
// time of a 57,600 bit/s line, the CPU used while a silent card is awaited,
// and heap allocations per exchange once warmed up.
#include "bench/channels.h"
#include "bench/many_links.h"
#include "control/link/palvex_ctrl.h"
#include "control/protocol/deadline.h"
#include "sim/card_server.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

// Allocation counting: every malloc of the thread that asked for counting.
// Replacing malloc in the program itself is enough on glibc: operator new and
// the library's own allocations come through here.
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
namespace {
thread_local bool t_counting = false;
thread_local long t_allocations = 0;
} // namespace
extern "C" void* malloc(std::size_t n) {
    if (t_counting) ++t_allocations;
    return __libc_malloc(n);
}
extern "C" void* calloc(std::size_t n, std::size_t size) {
    if (t_counting) ++t_allocations;
    return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, std::size_t n) {
    if (t_counting) ++t_allocations;
    return __libc_realloc(p, n);
}

namespace {

constexpr short kBaud57600 = static_cast<short>(0xE100);
constexpr double kMeasureSeconds = 1.5;
constexpr int kManyLinks = 64;
constexpr int kManyLinksRounds = 9; // each of kMeasureSeconds / 9 a side

double Seconds() {
    return palvex::CDeadline::NowNs() / 1e9;
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::string LinkPath(const char* what) {
    return (std::filesystem::temp_directory_path() /
            ("palvex-perf-" + std::string(what) + "-" + std::to_string(::getpid())))
        .string();
}

// A control connected to a simulated card, over a pty mapped to COM14 or
// over TCP.
struct CardLink {
    cardsim::CCardServer server;
    CPalvexCtrl ctrl;
    bool ok = false;

    CardLink(bool tcp, cardsim::CardConfig card, cardsim::FaultConfig faults, short waitTime)
        : server(card, faults) {
        if (tcp) {
            ok = server.ServeTcp(0) && server.Start() &&
                 ctrl.NetInitial(0, 0x7F000001, static_cast<short>(server.TcpPort()), waitTime);
        } else {
            const std::string path = LinkPath("card");
            ok = server.ServePty(path) && server.Start();
            ::setenv("PALVEX_COM14", path.c_str(), 1);
            ok = ok && ctrl.ComInitial(14, static_cast<short>(card.baud), waitTime);
        }
        ok = ok && ctrl.SetLedProperty(1, static_cast<short>(card.width),
                                       static_cast<short>(card.height));
    }
    ~CardLink() { ctrl.QKClose(); }
};

cardsim::CardConfig Card57600() {
    cardsim::CardConfig card;
    card.baud = 57600;
    return card;
}

double ExchangesPerSecond(CardLink& link, double seconds) {
    for (int i = 0; i < 50; ++i)
        link.ctrl.Reset(); // warm up
    long n = 0;
    const double start = Seconds();
    while (Seconds() - start < seconds) {
        if (!link.ctrl.Reset()) return 0;
        ++n;
    }
    return n / (Seconds() - start);
}

double AllocationsPerExchange(CardLink& link) {
    for (int i = 0; i < 50; ++i)
        link.ctrl.Reset();
    constexpr int kExchanges = 1000;
    t_allocations = 0;
    t_counting = true;
    for (int i = 0; i < kExchanges; ++i)
        link.ctrl.Reset();
    t_counting = false;
    return static_cast<double>(t_allocations) / kExchanges;
}

// CPU time of this thread while one exchange waits out a card that never
// answers, as a share of the wall time it takes.
double CpuShareWaitingForSilence(bool tcp) {
    cardsim::FaultConfig silent;
    silent.silent = true;
    CardLink link(tcp, Card57600(), silent, 300);
    if (!link.ok) return -1;
    const double wall0 = Seconds(), cpu0 = ThreadCpuSeconds();
    link.ctrl.Reset();
    return (ThreadCpuSeconds() - cpu0) / (Seconds() - wall0);
}

// Seconds to send all 64 steps of a 512 x 128 page to a card whose line is
// paced at 57,600 bit/s, and the wire time of the same bytes.
bool PictureSeconds(double* measured, double* wire) {
    cardsim::CardConfig card = Card57600();
    card.width = 512;
    card.height = 128;
    card.pace = true;
    CardLink link(false, card, {}, 1000);
    if (!link.ok) return false;
    std::vector<std::uint8_t> picture(CPalvexCtrl::kPictureBufferSize);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<std::uint8_t>(i % 7);
    const auto buffer = reinterpret_cast<LONG_PTR>(picture.data());
    link.ctrl.SendPicture(0, 0, buffer); // warm up
    const double start = Seconds();
    for (short step = 0; step < 64; ++step)
        if (!link.ctrl.SendPicture(1, step, buffer)) return false;
    *measured = Seconds() - start;
    *wire = 64.0 * ((3 + 512 + 11) + 6) * 10.0 / 57600.0;
    return true;
}

void Row(const char* figure, double value, const char* unit, const char* target, bool met) {
    std::printf("%-66s %10.3f %-8s %-10s %s\n", figure, value, unit, target,
                met ? "met" : "MISSED");
}

} // namespace

int main() {
    std::printf("%-66s %10s %-8s %-10s %s\n", "figure", "value", "", "target", "");
    bool allMet = true;
    auto row = [&](const char* figure, double value, const char* unit, const char* target,
                   bool met) {
        Row(figure, value, unit, target, met);
        allMet = allMet && met;
    };

    for (const bool tcp : {false, true}) {
        CardLink link(tcp, Card57600(), {}, 1000);
        bench::FdPair raw;
        const bool rawOk = tcp ? bench::OpenTcpPair(raw) : bench::OpenPtyPair(raw, 57600);
        if (!link.ok || !rawOk) {
            std::printf("%s: cannot set up the channel\n", tcp ? "tcp" : "pty");
            return 1;
        }
        const double exchange = ExchangesPerSecond(link, kMeasureSeconds);
        const double rawRate = bench::RawRoundTripsPerSecond(raw, kMeasureSeconds);
        char figure[96];
        std::snprintf(figure, sizeof figure, "exchanges over %s: %.0f/s vs raw %.0f/s, ratio",
                      tcp ? "TCP" : "a pty", exchange, rawRate);
        const double ratio = rawRate > 0 ? exchange / rawRate : 0;
        row(figure, ratio, "", ">= 0.80", ratio >= 0.8);
        std::snprintf(figure, sizeof figure, "heap allocations per exchange over %s",
                      tcp ? "TCP" : "a pty");
        const double allocations = AllocationsPerExchange(link);
        row(figure, allocations, "", "0", allocations == 0);
    }

    bench::ManyLinksRates many;
    if (bench::MeasureManyLinks(kManyLinks, kMeasureSeconds / kManyLinksRounds, kManyLinksRounds,
                                &many)) {
        char figure[96];
        std::snprintf(figure, sizeof figure,
                      "%d controls on %d threads over TCP: %.0f/s vs raw %.0f/s, ratio", kManyLinks,
                      kManyLinks, many.controls, many.raw);
        const double ratio = many.ratio;
        row(figure, ratio, "", ">= 0.90", ratio >= 0.9);
    } else {
        std::printf("%d controls on %d threads: cannot set up the connections\n", kManyLinks,
                    kManyLinks);
        allMet = false;
    }

    double measured = 0, wire = 0;
    if (PictureSeconds(&measured, &wire)) {
        char figure[96];
        std::snprintf(figure, sizeof figure,
                      "512 x 128 page at 57600: %.3f s vs wire %.3f s, ratio", measured, wire);
        row(figure, measured / wire, "", "<= 1.05", measured / wire <= 1.05);
    } else {
        std::printf("picture page: cannot set up the paced card\n");
        allMet = false;
    }

    for (const bool tcp : {false, true}) {
        const double share = CpuShareWaitingForSilence(tcp);
        char figure[96];
        std::snprintf(figure, sizeof figure, "CPU share waiting for a silent card over %s",
                      tcp ? "TCP" : "a pty");
        row(figure, share * 100, "%", "< 1 %", share >= 0 && share < 0.01);
    }
    std::printf("\n%s\n", allMet ? "every target met" : "some targets missed");
    return 0;
}
