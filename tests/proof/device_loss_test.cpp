// Device loss: the serial device disappearing in the middle of an exchange
// (the pseudo-terminal's other side closed, as when a USB adapter is pulled
// out), the simulated card stopping, and the TCP peer resetting or closing
// the connection. Each must give FALSE within the exchange's bound, without
// spinning on the processor while it waits, and QKClose must work afterwards
// so that the next link opens and works.
#include "control/link/palvex_ctrl.h"
#include "control/protocol/deadline.h"
#include "sim/card_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kPort = 22;
constexpr std::int32_t kLoopback = 0x7F000001;
const Bytes kZFrame = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0x00, 0x01, 'Z', 0xC8, 0x8E};
const Bytes kZAck = {0x05, 'Z', 0xC8, 0x8E, 'O', 'K'};

std::int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int OpenDescriptors() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)e;
        ++n;
    }
    return n;
}

// Wall time and the calling thread's processor time of one call.
struct Timed {
    BOOL result = FALSE;
    std::int64_t wallMs = 0;
    std::int64_t cpuMs = 0;
};

Timed Measure(const std::function<BOOL()>& call) {
    const std::int64_t wall = palvex::CDeadline::NowNs();
    const std::int64_t cpu = ThreadCpuNs();
    Timed t;
    t.result = call();
    t.cpuMs = (ThreadCpuNs() - cpu) / 1000000;
    t.wallMs = (palvex::CDeadline::NowNs() - wall) / 1000000;
    return t;
}

// A waiting exchange sleeps: its processor time is a small share of its wall
// time (a spinning one would use nearly all of it).
void ExpectNoBusyWait(const Timed& t, const std::string& what) {
    EXPECT_LE(t.cpuMs, 50 + t.wallMs / 10)
        << what << ": " << t.cpuMs << " ms of processor time in " << t.wallMs << " ms";
}

// Worst case of one exchange with an acknowledgement on a serial line:
// five attempts of 4 ms per reply byte plus the wait time.
std::int64_t SerialBoundMs(int waitMs) {
    return 5 * (4 * 6 + waitMs);
}
std::int64_t NetworkBoundMs(int waitMs) {
    return 5 * waitMs;
}

enum class Link { Serial, Network };

void PrintTo(Link link, std::ostream* out) {
    *out << (link == Link::Serial ? "serial" : "network");
}

// How the card's end goes away: the adapter pulled out, or the peer closing
// its connection abortively (RST, as a card that loses power mid-way) or in
// order.
enum class Loss { Unplug, Reset, Close };

// The card's end of a link, which the test plays: the master side of a
// pseudo-terminal whose slave is mapped to COM<kPort>, or a connection to a
// loopback listener. The test can take it away.
class CCardEnd {
  public:
    explicit CCardEnd(Link link) : m_link(link) {
        if (link == Link::Serial) {
            m_fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
            if (m_fd < 0 || ::grantpt(m_fd) != 0 || ::unlockpt(m_fd) != 0) std::abort();
            ::setenv(PortVariable().c_str(), ::ptsname(m_fd), 1);
            return;
        }
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&sa), len) != 0 ||
            ::listen(m_listener, 4) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            std::abort();
        m_tcpPort = ntohs(sa.sin_port);
    }
    ~CCardEnd() {
        Lose(Loss::Close);
        if (m_link == Link::Serial) ::unsetenv(PortVariable().c_str());
        if (m_listener >= 0) ::close(m_listener);
    }
    static std::string PortVariable() { return "PALVEX_COM" + std::to_string(kPort); }

    // Opens the control's link to this end with the given wait time.
    bool Open(CPalvexCtrl& c, short waitMs) {
        if (m_link == Link::Serial) return c.ComInitial(kPort, 9600, waitMs);
        if (!c.NetInitial(0, kLoopback, static_cast<short>(m_tcpPort), waitMs)) return false;
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return false;
        m_fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        return m_fd >= 0;
    }
    // Waits up to ms for n bytes.
    Bytes Read(std::size_t n, int ms) const {
        Bytes out;
        palvex::CDeadline deadline(ms);
        while (out.size() < n && !deadline.Expired()) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, deadline.RemainingMs()) <= 0) break;
            std::uint8_t buf[256];
            const ssize_t r = ::read(m_fd, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    void Write(const Bytes& b) const {
        if (m_link == Link::Serial)
            (void)!::write(m_fd, b.data(), b.size());
        else
            (void)!::send(m_fd, b.data(), b.size(), MSG_NOSIGNAL);
    }
    void Lose(Loss how) {
        if (m_fd < 0) return;
        if (how == Loss::Reset) {
            const linger l{1, 0};
            ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(m_fd);
        m_fd = -1;
    }
    std::int64_t BoundMs(int waitMs) const {
        return m_link == Link::Serial ? SerialBoundMs(waitMs) : NetworkBoundMs(waitMs);
    }

  private:
    Link m_link;
    int m_fd = -1;
    int m_listener = -1;
    unsigned m_tcpPort = 0;
};

// Opens a link to a card that acknowledges 'Z'.
void ExpectAFreshLinkWorks(CPalvexCtrl& c, Link link) {
    CCardEnd fresh(link);
    ASSERT_TRUE(fresh.Open(c, 1000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::thread card([&] {
        if (fresh.Read(kZFrame.size(), 3000) == kZFrame) fresh.Write(kZAck);
    });
    EXPECT_TRUE(c.Reset());
    card.join();
    c.QKClose();
}

// After a loss, QKClose leaves nothing open and a new link works.
void ExpectCloseAndReopenWork(CPalvexCtrl& c, int descriptorsBefore, Link link) {
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore) << "QKClose left a descriptor open";
    ExpectAFreshLinkWorks(c, link);
}

struct SLossCase {
    const char* name;
    Link link;
    Loss loss;
    const char* why; // what a wait of the full time would mean
};

void PrintTo(const SLossCase& c, std::ostream* out) {
    *out << c.name;
}

std::string CaseName(const testing::TestParamInfo<SLossCase>& info) {
    return info.param.name;
}

class LinkLostMidExchange : public testing::TestWithParam<SLossCase> {};
class LinkLostBeforeTheExchange : public testing::TestWithParam<SLossCase> {};
class SilentCard : public testing::TestWithParam<Link> {};

} // namespace

TEST_P(LinkLostMidExchange, GivesFalseAtOnceAndTheNextLinkWorks) {
    const SLossCase& tc = GetParam();
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        CCardEnd end(tc.link);
        ASSERT_TRUE(end.Open(c, 3000));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        std::atomic<bool> lost{false};
        std::thread card([&] {
            // The frame arrives, then the card's end is gone before any reply.
            if (end.Read(kZFrame.size(), 3000) == kZFrame) {
                ::usleep(50000);
                end.Lose(tc.loss);
                lost = true;
            }
        });
        const Timed t = Measure([&] { return c.Reset(); });
        card.join();
        ASSERT_TRUE(lost);
        EXPECT_FALSE(t.result);
        // The end gone counts at once: not one full wait of 3 s.
        EXPECT_LT(t.wallMs, 3000) << tc.why;
        EXPECT_LE(t.wallMs, end.BoundMs(3000));
        ExpectNoBusyWait(t, tc.name);
        // Later commands fail at once too.
        const Timed again = Measure([&] { return c.SetBrightness(1); });
        EXPECT_FALSE(again.result);
        EXPECT_LT(again.wallMs, 3000);
    }
    ExpectCloseAndReopenWork(c, before, tc.link);
}

INSTANTIATE_TEST_SUITE_P(
    DeviceLoss, LinkLostMidExchange,
    testing::Values(SLossCase{"AnAdapterPulledOutWhileTheReplyIsAwaited", Link::Serial,
                              Loss::Unplug, "the control waited for a device that is gone"},
                    SLossCase{"APeerResettingTheConnection", Link::Network, Loss::Reset,
                              "the control waited on a reset connection"},
                    SLossCase{"APeerClosingTheConnection", Link::Network, Loss::Close,
                              "a receive that returns no bytes is the end of the connection"}),
    CaseName);

TEST_P(LinkLostBeforeTheExchange, FailsEveryAttemptAtOnce) {
    const SLossCase& tc = GetParam();
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        CCardEnd end(tc.link);
        ASSERT_TRUE(end.Open(c, 3000));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        // On loopback a reset reaches the control's socket within close();
        // should it come later, it ends the first attempt's wait just as well.
        end.Lose(tc.loss);
        for (int i = 0; i < 3; ++i) {
            const Timed t = Measure([&] { return c.GetVersion() != -1 ? TRUE : FALSE; });
            EXPECT_FALSE(t.result);
            EXPECT_LT(t.wallMs, 3000) << tc.why;
            ExpectNoBusyWait(t, tc.name);
        }
        short power[128];
        const Timed t = Measure([&] { return c.GetPowerState(power); });
        EXPECT_FALSE(t.result);
        EXPECT_LT(t.wallMs, 3000);
    }
    ExpectCloseAndReopenWork(c, before, tc.link);
}

INSTANTIATE_TEST_SUITE_P(
    DeviceLoss, LinkLostBeforeTheExchange,
    testing::Values(SLossCase{"ADeviceGoneBeforeTheExchange", Link::Serial, Loss::Unplug,
                              "the control waited for a device that is gone"},
                    SLossCase{"APeerResettingBeforeTheFrameIsSent", Link::Network, Loss::Reset,
                              "the control waited on a reset connection"}),
    CaseName);

// A card that is there but silent: the control waits out every attempt and
// sleeps while it does.
TEST_P(SilentCard, IsWaitedOutOnEveryAttemptWithoutSpinning) {
    const bool serial = GetParam() == Link::Serial;
    CPalvexCtrl c;
    CCardEnd end(GetParam());
    ASSERT_TRUE(end.Open(c, 200));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    const Timed t = Measure([&] { return c.Reset(); });
    EXPECT_FALSE(t.result);
    // The socket counts its waits in 20 ms steps: a tenth less is allowed.
    EXPECT_GE(t.wallMs, serial ? 5 * 200 : 5 * 200 * 9 / 10);
    EXPECT_LE(t.wallMs, end.BoundMs(200) + 1500);
    ExpectNoBusyWait(t, serial ? "silent serial card" : "silent network card");
    c.QKClose();
}

INSTANTIATE_TEST_SUITE_P(OnTheLink, SilentCard, testing::Values(Link::Serial, Link::Network),
                         [](const testing::TestParamInfo<Link>& info) {
                             return info.param == Link::Serial ? "OnASerialLine" : "OnTheNetwork";
                         });

TEST(SerialDeviceLoss, TheSimulatedCardStoppingMidExchangeGivesFalseWithinTheBound) {
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        const std::string link =
            (std::filesystem::temp_directory_path() / ("palvex-loss-" + std::to_string(::getpid())))
                .string();
        auto card = std::make_unique<cardsim::CCardServer>(cardsim::CardConfig{},
                                                           cardsim::FaultConfig{.silent = true});
        ASSERT_TRUE(card->ServePty(link)) << card->LastError();
        ASSERT_TRUE(card->Start());
        ::setenv(CCardEnd::PortVariable().c_str(), link.c_str(), 1);
        ASSERT_TRUE(c.ComInitial(kPort, 9600, 2000));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        std::thread stopper([&] {
            // The card has taken the first frame and keeps silent: the
            // control is in its first wait when the card program ends and
            // its terminal goes away.
            const palvex::CDeadline seen(3000);
            while (!seen.Expired() && card->Stats().silenced == 0) ::poll(nullptr, 0, 1);
            card.reset();
        });
        const Timed t = Measure([&] { return c.SetBrightness(7); });
        stopper.join();
        EXPECT_FALSE(t.result);
        EXPECT_LT(t.wallMs, 2000) << "the control went on waiting after the card was gone";
        EXPECT_LE(t.wallMs, SerialBoundMs(2000));
        ExpectNoBusyWait(t, "card stopped");
        ::unsetenv(CCardEnd::PortVariable().c_str());
    }
    ExpectCloseAndReopenWork(c, before, Link::Serial);
}

TEST(SerialDeviceLoss, AModemLineLostMidCallFailsFramesAndCommandsPromptly) {
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        CCardEnd modem(Link::Serial);
        std::thread answer([&] {
            // The factory reset, echoed and answered OK.
            const Bytes reset = modem.Read(6, 3000);
            if (reset == Bytes{'A', 'T', '&', 'F', '0', '\r'})
                modem.Write({'A', 'T', '&', 'F', '0', '\r', '\r', '\n', 'O', 'K', '\r', '\n'});
        });
        ASSERT_TRUE(c.ModemInitial(kPort, 2000));
        answer.join();
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        modem.Lose(Loss::Unplug);
        // Ten attempts on a modem line, each failing at once.
        const Timed frame = Measure([&] { return c.Reset(); });
        EXPECT_FALSE(frame.result);
        EXPECT_LT(frame.wallMs, 2000);
        ExpectNoBusyWait(frame, "modem frame");
        char ret[128] = "x";
        const Timed command = Measure([&] {
            return c.SendModemCmd(reinterpret_cast<LONG_PTR>("ATH0"),
                                  reinterpret_cast<LONG_PTR>(ret));
        });
        EXPECT_FALSE(command.result);
        EXPECT_STREQ(ret, "");
        EXPECT_LT(command.wallMs, 1000);
    }
    ExpectCloseAndReopenWork(c, before, Link::Serial);
}
