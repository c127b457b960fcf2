// Device loss: the serial device disappearing in the middle of an exchange
// (the pseudo-terminal's other side closed, as when a USB adapter is pulled
// out), the simulated card stopping, and the TCP peer resetting or closing
// the connection. Each must give FALSE within the exchange's bound, without
// spinning on the processor while it waits, and QKClose must work afterwards
// so that the next link opens and works.
#include "control/protocol/deadline.h"
#include "control/link/palvex_ctrl.h"
#include "sim/card_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
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
void ExpectNoBusyWait(const Timed& t, const char* what) {
    EXPECT_LE(t.cpuMs, 50 + t.wallMs / 10)
        << what << ": " << t.cpuMs << " ms of processor time in " << t.wallMs << " ms";
}

// A pseudo-terminal whose slave is mapped to COM<kPort>; the test plays the
// card on the master and can pull the device away by closing the master.
class CDevice {
  public:
    CDevice() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) std::abort();
        ::setenv(("PALVEX_COM" + std::to_string(kPort)).c_str(), ::ptsname(m_master), 1);
    }
    ~CDevice() {
        Unplug();
        ::unsetenv(("PALVEX_COM" + std::to_string(kPort)).c_str());
    }
    // Waits up to ms for n bytes on the master.
    Bytes Read(std::size_t n, int ms) const {
        Bytes out;
        palvex::CDeadline deadline(ms);
        while (out.size() < n && !deadline.Expired()) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, deadline.RemainingMs()) <= 0) break;
            std::uint8_t buf[256];
            const ssize_t r = ::read(m_master, buf, std::min(sizeof buf, n - out.size()));
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    void Write(const Bytes& b) const { (void)!::write(m_master, b.data(), b.size()); }
    void Unplug() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

  private:
    int m_master = -1;
};

// After a loss, QKClose leaves nothing open and a new device works.
void ExpectCloseAndReopenWork(CPalvexCtrl& c, int descriptorsBefore) {
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore) << "QKClose left a descriptor open";
    CDevice fresh;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 1000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::thread card([&] {
        if (fresh.Read(kZFrame.size(), 3000) == kZFrame) fresh.Write(kZAck);
    });
    EXPECT_TRUE(c.Reset());
    card.join();
    c.QKClose();
}

// A loopback listener the test serves by hand.
class CPeer {
  public:
    CPeer() {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&sa), len) != 0 ||
            ::listen(m_listener, 4) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
            std::abort();
        m_port = ntohs(sa.sin_port);
    }
    ~CPeer() {
        Close(false);
        ::close(m_listener);
    }
    short Port() const { return static_cast<short>(m_port); }
    bool Accept(int ms) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0) return false;
        m_conn = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        return m_conn >= 0;
    }
    Bytes Read(std::size_t n, int ms) const {
        Bytes out;
        palvex::CDeadline deadline(ms);
        while (out.size() < n && !deadline.Expired()) {
            pollfd p{m_conn, POLLIN, 0};
            if (::poll(&p, 1, deadline.RemainingMs()) <= 0) break;
            std::uint8_t buf[256];
            const ssize_t r = ::recv(m_conn, buf, std::min(sizeof buf, n - out.size()), 0);
            if (r <= 0) break;
            out.insert(out.end(), buf, buf + r);
        }
        return out;
    }
    void Write(const Bytes& b) const { (void)!::send(m_conn, b.data(), b.size(), MSG_NOSIGNAL); }
    // reset: an abortive close (RST), as a card that loses power mid-way
    // or a peer whose stack drops the connection; otherwise an orderly close.
    void Close(bool reset) {
        if (m_conn < 0) return;
        if (reset) {
            const linger l{1, 0};
            ::setsockopt(m_conn, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(m_conn);
        m_conn = -1;
    }

  private:
    int m_listener = -1;
    int m_conn = -1;
    unsigned m_port = 0;
};

// Worst case of one exchange with an acknowledgement on a serial line:
// five attempts of 4 ms per reply byte plus the wait time.
std::int64_t SerialBoundMs(int waitMs) {
    return 5 * (4 * 6 + waitMs);
}
std::int64_t NetworkBoundMs(int waitMs) {
    return 5 * waitMs;
}

} // namespace

TEST(SerialDeviceLoss, AnAdapterPulledOutWhileTheReplyIsAwaitedEndsTheExchangeAtOnce) {
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        CDevice device;
        ASSERT_TRUE(c.ComInitial(kPort, 9600, 3000));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        std::atomic<bool> pulled{false};
        std::thread card([&] {
            // The frame arrives, then the device is gone before any reply.
            if (device.Read(kZFrame.size(), 3000) == kZFrame) {
                ::usleep(50000);
                device.Unplug();
                pulled = true;
            }
        });
        const Timed t = Measure([&] { return c.Reset(); });
        card.join();
        ASSERT_TRUE(pulled);
        EXPECT_FALSE(t.result);
        // A hang-up counts as the device gone: not one full wait of 3 s.
        EXPECT_LT(t.wallMs, 3000) << "the control waited for a device that is gone";
        EXPECT_LE(t.wallMs, SerialBoundMs(3000));
        ExpectNoBusyWait(t, "pulled adapter");
    }
    ExpectCloseAndReopenWork(c, before);
}

TEST(SerialDeviceLoss, ADeviceGoneBeforeTheExchangeFailsEveryAttemptAtOnce) {
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        CDevice device;
        ASSERT_TRUE(c.ComInitial(kPort, 9600, 3000));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        device.Unplug();
        for (int i = 0; i < 3; ++i) {
            const Timed t = Measure([&] { return c.GetVersion() != -1 ? TRUE : FALSE; });
            EXPECT_FALSE(t.result);
            EXPECT_LT(t.wallMs, 3000);
            ExpectNoBusyWait(t, "device gone before");
        }
        short power[128];
        const Timed t = Measure([&] { return c.GetPowerState(power); });
        EXPECT_FALSE(t.result);
        EXPECT_LT(t.wallMs, 3000);
    }
    ExpectCloseAndReopenWork(c, before);
}

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
        ::setenv(("PALVEX_COM" + std::to_string(kPort)).c_str(), link.c_str(), 1);
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
        ::unsetenv(("PALVEX_COM" + std::to_string(kPort)).c_str());
    }
    ExpectCloseAndReopenWork(c, before);
}

TEST(SerialDeviceLoss, AModemLineLostMidCallFailsFramesAndCommandsPromptly) {
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        CDevice modem;
        std::thread answer([&] {
            // The factory reset, echoed and answered OK.
            const Bytes reset = modem.Read(6, 3000);
            if (reset == Bytes{'A', 'T', '&', 'F', '0', '\r'})
                modem.Write({'A', 'T', '&', 'F', '0', '\r', '\r', '\n', 'O', 'K', '\r', '\n'});
        });
        ASSERT_TRUE(c.ModemInitial(kPort, 2000));
        answer.join();
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        modem.Unplug();
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
    ExpectCloseAndReopenWork(c, before);
}

TEST(NetworkPeerLoss, APeerResettingTheConnectionMidExchangeGivesFalseAtOnce) {
    const int before = OpenDescriptors();
    CPalvexCtrl c;
    {
        CPeer peer;
        ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.Port(), 3000));
        ASSERT_TRUE(peer.Accept(2000));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        std::thread card([&] {
            if (peer.Read(kZFrame.size(), 3000) == kZFrame) {
                ::usleep(50000);
                peer.Close(true);
            }
        });
        const Timed t = Measure([&] { return c.Reset(); });
        card.join();
        EXPECT_FALSE(t.result);
        EXPECT_LT(t.wallMs, 3000) << "the control waited on a reset connection";
        EXPECT_LE(t.wallMs, NetworkBoundMs(3000));
        ExpectNoBusyWait(t, "reset");
        // Later commands fail at once too.
        const Timed again = Measure([&] { return c.SetBrightness(1); });
        EXPECT_FALSE(again.result);
        EXPECT_LT(again.wallMs, 3000);
        c.QKClose();
        EXPECT_FALSE(c.IsLinkOpen());
    }
    EXPECT_EQ(OpenDescriptors(), before) << "QKClose left the socket open";
    // A new connection works.
    CPeer next;
    ASSERT_TRUE(c.NetInitial(0, kLoopback, next.Port(), 1000));
    ASSERT_TRUE(next.Accept(2000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::thread card([&] {
        if (next.Read(kZFrame.size(), 3000) == kZFrame) next.Write(kZAck);
    });
    EXPECT_TRUE(c.Reset());
    card.join();
    c.QKClose();
}

TEST(NetworkPeerLoss, APeerClosingTheConnectionMidExchangeGivesFalseAtOnce) {
    CPalvexCtrl c;
    CPeer peer;
    ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.Port(), 3000));
    ASSERT_TRUE(peer.Accept(2000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::thread card([&] {
        if (peer.Read(kZFrame.size(), 3000) == kZFrame) {
            ::usleep(50000);
            peer.Close(false);
        }
    });
    const Timed t = Measure([&] { return c.Reset(); });
    card.join();
    EXPECT_FALSE(t.result);
    EXPECT_LT(t.wallMs, 3000) << "a receive that returns no bytes is the end of the connection";
    ExpectNoBusyWait(t, "closed");
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
}

TEST(NetworkPeerLoss, APeerResettingBeforeTheFrameIsSentFailsEveryAttemptAtOnce) {
    CPalvexCtrl c;
    CPeer peer;
    ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.Port(), 3000));
    ASSERT_TRUE(peer.Accept(2000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    // On loopback the reset reaches the control's socket within close();
    // should it come later, it ends the first attempt's wait just as well.
    peer.Close(true);
    const Timed t = Measure([&] { return c.GetVersion() != -1 ? TRUE : FALSE; });
    EXPECT_FALSE(t.result);
    EXPECT_LT(t.wallMs, 3000);
    ExpectNoBusyWait(t, "reset before");
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
}

// A card that is there but silent: the control waits out every attempt and
// sleeps while it does.
TEST(SilentCard, WaitingOutEveryAttemptSleepsOnTheSerialLineAndTheNetwork) {
    {
        CPalvexCtrl c;
        CDevice device;
        ASSERT_TRUE(c.ComInitial(kPort, 9600, 200));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        const Timed t = Measure([&] { return c.Reset(); });
        EXPECT_FALSE(t.result);
        EXPECT_GE(t.wallMs, 5 * 200);
        EXPECT_LE(t.wallMs, SerialBoundMs(200) + 1500);
        ExpectNoBusyWait(t, "silent serial card");
        c.QKClose();
    }
    {
        CPalvexCtrl c;
        CPeer peer;
        ASSERT_TRUE(c.NetInitial(0, kLoopback, peer.Port(), 200));
        ASSERT_TRUE(peer.Accept(2000));
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        const Timed t = Measure([&] { return c.Reset(); });
        EXPECT_FALSE(t.result);
        EXPECT_GE(t.wallMs, 5 * 200 * 9 / 10);
        EXPECT_LE(t.wallMs, NetworkBoundMs(200) + 1500);
        ExpectNoBusyWait(t, "silent network card");
        c.QKClose();
    }
}
