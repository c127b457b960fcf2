#include "bench/many_links.h"

#include "bench/channels.h"
#include "control/link/palvex_ctrl.h"
#include "control/protocol/deadline.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {

// A control connected to an echo peer of its own.
struct ControlLink {
    CPalvexCtrl ctrl;
    int conn = -1;
    std::unique_ptr<CEchoPeer> peer;
    ~ControlLink() {
        peer.reset();
        ctrl.QKClose();
        if (conn >= 0) ::close(conn);
    }
};

bool Connect(ControlLink& link) {
    unsigned port = 0;
    const int listener = ListenLoopback(&port);
    if (listener < 0) return false;
    const bool ok = link.ctrl.NetInitial(0, 0x7F000001, static_cast<short>(port), 1000) &&
                    link.ctrl.SetLedProperty(1, 256, 64);
    link.conn = ok ? ::accept(listener, nullptr, nullptr) : -1;
    ::close(listener);
    if (link.conn < 0) return false;
    const int one = 1;
    ::setsockopt(link.conn, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    link.peer = std::make_unique<CEchoPeer>(link.conn);
    return link.ctrl.Reset();
}

// Runs `work(i)` on one thread per link from a common start for `seconds`;
// each call makes one round trip and says whether it succeeded. The total
// per second, or 0 when any failed.
template <typename Work> double RunAll(int links, double seconds, Work work) {
    std::atomic<int> ready{0};
    std::atomic<bool> go{false}, failed{false};
    std::atomic<long> total{0};
    std::int64_t endNs = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < links; ++i)
        threads.emplace_back([&, i] {
            ++ready;
            while (!go.load(std::memory_order_acquire))
                std::this_thread::yield();
            long n = 0;
            while (palvex::CDeadline::NowNs() < endNs) {
                if (!work(i)) {
                    failed = true;
                    break;
                }
                ++n;
            }
            total += n;
        });
    while (ready < links)
        std::this_thread::yield();
    const std::int64_t start = palvex::CDeadline::NowNs();
    endNs = start + static_cast<std::int64_t>(seconds * 1e9);
    go.store(true, std::memory_order_release);
    for (std::thread& t : threads)
        t.join();
    const double elapsed = (palvex::CDeadline::NowNs() - start) / 1e9;
    return failed ? 0 : total / elapsed;
}

} // namespace

bool MeasureManyLinks(int links, double seconds, int rounds, ManyLinksRates* rates) {
    std::vector<std::unique_ptr<ControlLink>> controls;
    std::vector<std::unique_ptr<FdPair>> pairs;
    std::vector<std::unique_ptr<CEchoPeer>> rawPeers;
    for (int i = 0; i < links; ++i) {
        controls.push_back(std::make_unique<ControlLink>());
        pairs.push_back(std::make_unique<FdPair>());
        if (!Connect(*controls.back()) || !OpenTcpPair(*pairs.back())) return false;
        rawPeers.push_back(std::make_unique<CEchoPeer>(pairs.back()->b));
    }
    const auto exchange = [&](int i) { return controls[i]->ctrl.Reset() != FALSE; };
    const auto roundTrip = [&](int i) {
        unsigned char reply[kReplyLen];
        return WriteAll(pairs[i]->a, kZFrame, kFrameLen) && ReadAll(pairs[i]->a, reply, kReplyLen);
    };
    double controlSum = 0, rawSum = 0;
    std::vector<double> ratios;
    for (int r = 0; r < rounds; ++r) {
        // Each side goes first in every other round.
        double w = r % 2 != 0 ? RunAll(links, seconds, roundTrip) : 0;
        const double c = RunAll(links, seconds, exchange);
        if (r % 2 == 0) w = RunAll(links, seconds, roundTrip);
        if (c == 0 || w == 0) return false;
        controlSum += c;
        rawSum += w;
        ratios.push_back(c / w);
    }
    // The middle round's ratio: a burst of the machine's other work that
    // falls on one side of one round moves it no further.
    std::sort(ratios.begin(), ratios.end());
    rates->controls = controlSum / rounds;
    rates->raw = rawSum / rounds;
    rates->ratio = ratios[ratios.size() / 2];
    return true;
}

} // namespace bench
