// The modem link end to end: the control opens a pty mapped to a COM port,
// on whose other side cardsim plays a Hayes modem with the card behind it.
// Dial delay, guard time and the control's wait for a slow command are cut
// to fractions of a second.
#include "control/protocol/deadline.h"
#include "control/link/palvex_ctrl.h"
#include "sim/card_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kPort = 12;
constexpr int kDialMs = 300;
constexpr int kGuardMs = 150;
constexpr int kSlowWaitMs = 1500;
constexpr int kLogWaitMs = 1000;

cardsim::CardConfig ModemCard() {
    cardsim::CardConfig c; // the card behind the modem keeps its own 9600 bit/s
    c.modem.enabled = true;
    c.modem.dialDelayMs = kDialMs;
    c.modem.guardMs = kGuardMs;
    return c;
}

std::string TempLink() {
    static int n = 0;
    return (std::filesystem::temp_directory_path() /
            ("palvex-modem-" + std::to_string(::getpid()) + "-" + std::to_string(++n)))
        .string();
}

long long MsSince(std::int64_t startNs) { return (palvex::CDeadline::NowNs() - startNs) / 1000000; }

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct PropertyText {
    char text[CPalvexCtrl::kPropertyTextCapacity] = {};
    std::string Narrow() const { return text; }
};

// The log lines of the simulated modem and card, to wait on.
class CLogLines {
public:
    void Add(const std::string& line) {
        {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        }
        m_cv.notify_all();
    }
    int Count(const std::string& text) const {
        std::lock_guard lock(m_mutex);
        return CountLocked(text);
    }
    bool WaitFor(const std::string& text, int count = 1) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(kLogWaitMs),
                             [&] { return CountLocked(text) >= count; });
    }

private:
    int CountLocked(const std::string& text) const {
        int n = 0;
        for (const std::string& l : m_lines) n += l.find(text) != std::string::npos;
        return n;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
};

// cardsim with its modem on a pty mapped to COM12, and a control for it.
class ModemBench {
public:
    explicit ModemBench(const cardsim::CardConfig& card = ModemCard(),
                        const cardsim::FaultConfig& faults = {})
        : m_server(card, faults), m_path(TempLink()) {
        m_server.SetLogSink([this](const std::string& line) { log.Add(line); });
        EXPECT_TRUE(m_server.ServePty(m_path)) << m_server.LastError();
        ::setenv(EnvName().c_str(), m_path.c_str(), 1);
        EXPECT_TRUE(m_server.Start());
        control.SetModemSlowCommandWait(kSlowWaitMs);
    }
    ~ModemBench() {
        control.QKClose();
        m_server.Stop();
        ::unsetenv(EnvName().c_str());
    }

    BOOL Open(short waitTime = 400) { return control.ModemInitial(kPort, waitTime); }
    BOOL Send(const char* command) {
        std::memset(answer, 'x', sizeof answer);
        return control.SendModemCmd(reinterpret_cast<LONG_PTR>(command),
                                    reinterpret_cast<LONG_PTR>(answer));
    }
    std::string Answer() const { return answer; }
    // Opens the link and dials, as a host does before talking to the card.
    void Connect(short waitTime = 400) {
        ASSERT_TRUE(Open(waitTime));
        ASSERT_TRUE(Send("ATD5551234"));
        ASSERT_EQ(Answer(), "CONNECT 9600");
        ASSERT_TRUE(control.SetLedProperty(1, 256, 64));
    }
    std::uint64_t Frames(char letter) const {
        return m_server.Stats().perLetter[static_cast<std::uint8_t>(letter)];
    }
    cardsim::ServerStats Stats() const { return m_server.Stats(); }

    CLogLines log; // before the server, so the server's thread is gone first
    CPalvexCtrl control;
    char answer[128];

private:
    static std::string EnvName() { return "PALVEX_COM" + std::to_string(kPort); }

    cardsim::CCardServer m_server;
    std::string m_path;
};

cardsim::CardConfig WithModem(void (*change)(cardsim::ModemConfig&)) {
    cardsim::CardConfig c = ModemCard();
    change(c.modem);
    return c;
}

LONG_PTR Addr(const char* s) { return reinterpret_cast<LONG_PTR>(s); }

} // namespace

TEST(ModemEndToEnd, DialsConfiguresTheCardReadsItBackAndHangsUpOnClose) {
    ModemBench bench;
    ASSERT_TRUE(bench.Open(400));
    EXPECT_TRUE(bench.control.IsLinkOpen());
    EXPECT_EQ(bench.control.LinkKind(), 2);

    const auto start = palvex::CDeadline::NowNs();
    ASSERT_TRUE(bench.Send("ATD5551234"));
    EXPECT_GE(MsSince(start), kDialMs);
    EXPECT_EQ(bench.Answer(), "CONNECT 9600");

    ASSERT_TRUE(bench.control.SetLedProperty(1, 256, 64));
    PropertyText before;
    ASSERT_TRUE(bench.control.QKGetProperty(before.text, sizeof before.text));
    EXPECT_EQ(before.Narrow().substr(0, 8), "DDDD7200");
    EXPECT_EQ(before.Narrow().substr(16, 8), "10004000"); // 256 x 64, flags 0
    ASSERT_TRUE(bench.control.QKSetProperty(Addr("20004081")));
    PropertyText after;
    ASSERT_TRUE(bench.control.QKGetProperty(after.text, sizeof after.text));
    EXPECT_EQ(after.Narrow().substr(16, 8), "20004081");
    EXPECT_EQ(bench.Frames('A'), 2u);

    bench.control.QKClose();
    EXPECT_FALSE(bench.control.IsLinkOpen());
    ASSERT_TRUE(bench.log.WaitFor("DTR dropped, hung up"));
    // The modem is back in command state: a new session starts as the first did.
    ASSERT_TRUE(bench.Open(400));
    EXPECT_EQ(bench.log.Count("AT&F0 -> OK"), 2);
    EXPECT_EQ(bench.Stats().garbageBytes, 0u); // no AT command reached the card
}

TEST(ModemEndToEnd, MakesTenAttemptsWhenTheCardBehindTheModemIsSilent) {
    ModemBench bench(ModemCard(), cardsim::FaultConfig{.silent = true});
    bench.Connect(100);
    EXPECT_EQ(bench.control.GetVersion(), -1);
    EXPECT_EQ(bench.Frames('A'), 10u);
}

TEST(ModemEndToEnd, EndsTheCallWithAGuardedEscapeAndAth) {
    ModemBench bench;
    bench.Connect();
    ASSERT_TRUE(bench.control.Reset());
    Pause(kGuardMs + 50);
    const std::uint8_t escape[] = {'+', '+', '+'};
    ASSERT_TRUE(bench.control.SerialLine().Write(escape, sizeof escape));
    std::uint8_t ok[6] = {};
    ASSERT_EQ(bench.control.SerialLine().ReadExact(ok, sizeof ok, palvex::CDeadline(1000)), sizeof ok);
    EXPECT_EQ(std::string(ok, ok + 6), "\r\nOK\r\n");

    ASSERT_TRUE(bench.Send("ATH"));
    EXPECT_EQ(bench.Answer(), "ATH\r\r\nOK\r\n");
    // The modem now echoes the frames as text; the card hears none of them.
    EXPECT_FALSE(bench.control.Reset());
    EXPECT_EQ(bench.Frames('Z'), 1u);
}

// ATO is answered with CONNECT in the same burst as its echo, which the
// control does not count as an answer; the call is up again all the same.
TEST(ModemEndToEnd, GoesBackOnlineWithAtoThoughTheControlReportsFalse) {
    ModemBench bench;
    bench.Connect();
    Pause(kGuardMs + 50);
    const std::uint8_t escape[] = {'+', '+', '+'};
    ASSERT_TRUE(bench.control.SerialLine().Write(escape, sizeof escape));
    ASSERT_TRUE(bench.log.WaitFor("escape: command state"));
    EXPECT_FALSE(bench.Send("ATO"));
    EXPECT_EQ(bench.Answer(), "");
    EXPECT_TRUE(bench.control.Reset());
    EXPECT_EQ(bench.Frames('Z'), 1u);
}

// Rows of the modem link's failure table, caused by the simulated modem.

TEST(ModemFailures, ModemInitialWhileTheLinkIsOpenSendsNothing) {
    ModemBench bench;
    ASSERT_TRUE(bench.Open());
    EXPECT_FALSE(bench.Open());
    EXPECT_TRUE(bench.control.IsLinkOpen());
    // A later command reaches the modem after anything the refused open
    // might have sent: once it is logged, so would a second reset be.
    EXPECT_TRUE(bench.Send("ATE1"));
    ASSERT_TRUE(bench.log.WaitFor("ATE1 -> OK"));
    EXPECT_EQ(bench.log.Count("AT&F0"), 1);
}

TEST(ModemFailures, APortHeldByAnotherControlCannotBeOpenedNorItsCallEnded) {
    ModemBench bench;
    bench.Connect();
    CPalvexCtrl other;
    EXPECT_FALSE(other.ModemInitial(kPort, 400));
    EXPECT_FALSE(other.IsLinkOpen());
    EXPECT_TRUE(bench.control.Reset()); // the first control's call is still up
    EXPECT_EQ(bench.log.Count("AT&F0"), 1);
    EXPECT_EQ(bench.log.Count("port closed"), 0);
}

TEST(ModemFailures, ASwitchedOffModemLeavesThePortClosedAfterTheBurstSilence) {
    ModemBench bench(WithModem([](cardsim::ModemConfig& m) { m.switchedOff = true; }));
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(bench.Open(700));
    EXPECT_GE(MsSince(start), 104);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_FALSE(bench.control.IsLinkOpen());
    EXPECT_EQ(bench.control.LinkKind(), 2);
    EXPECT_EQ(bench.control.WaitTime(), 700);
    EXPECT_TRUE(bench.log.WaitFor("switched off, 6 byte(s) ignored"));
    CPalvexCtrl other;
    EXPECT_TRUE(other.ComInitial(kPort, 9600, 100)); // the port is free again
}

TEST(ModemFailures, ACommandSentDuringTheCallReachesTheCardAndGetsNoByte) {
    ModemBench bench;
    bench.Connect();
    const auto garbage = bench.Stats().garbageBytes;
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(bench.Send("ATI"));
    EXPECT_GE(MsSince(start), 104);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(bench.Answer(), "");
    EXPECT_EQ(bench.control.WaitTime(), 400);
    EXPECT_EQ(bench.Stats().garbageBytes - garbage, 4u); // "ATI\r" in the card's receiver
    EXPECT_TRUE(bench.control.Reset()); // the call is still up
}

TEST(ModemFailures, AnErrorAnswerIsNeitherOkNorTheEcho) {
    ModemBench bench;
    ASSERT_TRUE(bench.Open());
    EXPECT_FALSE(bench.Send("ATX99"));
    EXPECT_EQ(bench.Answer(), "");
    EXPECT_TRUE(bench.log.WaitFor("ATX99 -> ERROR"));
}

TEST(ModemFailures, ADialSlowerThanTheWaitFailsAndTheNextCommandAbortsIt) {
    ModemBench bench(WithModem([](cardsim::ModemConfig& m) { m.dialDelayMs = 1200; }));
    ASSERT_TRUE(bench.Open());
    bench.control.SetModemSlowCommandWait(300);
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(bench.Send("ATD1"));
    EXPECT_GE(MsSince(start), 300);
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_EQ(bench.Answer(), "");
    EXPECT_EQ(bench.control.WaitTime(), 400);
    // The modem still dials; the next command's first byte ends that with
    // NO CARRIER, which is no answer the control accepts.
    EXPECT_FALSE(bench.Send("AT"));
    EXPECT_TRUE(bench.log.WaitFor("aborted"));
    EXPECT_TRUE(bench.Send("AT"));
}

TEST(ModemFailures, OnlyLineEndsAfterTheEchoAreNoAnswerLine) {
    ModemBench bench(WithModem([](cardsim::ModemConfig& m) { m.dialAnswer = ""; }));
    ASSERT_TRUE(bench.Open());
    EXPECT_FALSE(bench.Send("ATD1"));
    EXPECT_EQ(bench.Answer(), "");
    EXPECT_TRUE(bench.log.WaitFor("blank answer"));
}

TEST(ModemFailures, NothingIsSentOnceTheLinkIsClosed) {
    ModemBench bench;
    ASSERT_TRUE(bench.Open());
    bench.control.QKClose();
    EXPECT_FALSE(bench.Send("AT"));
    EXPECT_EQ(bench.Answer(), "");
    ASSERT_TRUE(bench.log.WaitFor("DTR dropped"));
    EXPECT_EQ(bench.log.Count("AT -> OK"), 0);
}

// The edge cases the modem link names, on the simulated modem.

TEST(ModemEdgeCases, TheFactoryResetIsAnsweredWithEchoAndOkInOneBurst) {
    ModemBench bench;
    ASSERT_TRUE(bench.Open());
    ASSERT_TRUE(bench.Send("AT&F0"));
    EXPECT_EQ(bench.Answer(), "AT&F0\r\r\nOK\r\n");
}

TEST(ModemEdgeCases, ASlowCommandAnsweredWithOkGivesAnEmptyText) {
    ModemBench bench;
    ASSERT_TRUE(bench.Open());
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_TRUE(bench.Send("ATD1;")); // dial, then back to command state with OK
    EXPECT_GE(MsSince(start), kDialMs);
    EXPECT_EQ(bench.Answer(), "");
}

TEST(ModemEdgeCases, TheNextFrameWaitsTheFullTimeAfterAModemCommand) {
    // Every reply of the card comes 250 ms late: more than the 100 ms a
    // modem command waits, less than the link's wait time.
    ModemBench bench(ModemCard(), cardsim::FaultConfig{.delayShare = 1.0, .delayMs = 250});
    bench.Connect(500);
    EXPECT_EQ(bench.control.WaitTime(), 500);
    EXPECT_TRUE(bench.control.Reset());
    EXPECT_EQ(bench.Frames('Z'), 1u);
}

TEST(ModemEdgeCases, AModemWithEchoOffResetsButCannotDialForTheControl) {
    ModemBench bench(WithModem([](cardsim::ModemConfig& m) { m.echo = false; }));
    ASSERT_TRUE(bench.Open());
    ASSERT_TRUE(bench.Send("AT&F0"));
    EXPECT_EQ(bench.Answer(), "\r\nOK\r\n");
    // Without the echo the first burst is empty: the control gives up on the
    // dial, while the modem goes on and connects.
    EXPECT_FALSE(bench.Send("ATD1"));
    ASSERT_TRUE(bench.log.WaitFor("online"));
    ASSERT_TRUE(bench.control.SetLedProperty(1, 256, 64));
    EXPECT_TRUE(bench.control.Reset());
}

class ModemLineEnds : public ::testing::TestWithParam<cardsim::ModemLineEnd> {};

TEST_P(ModemLineEnds, GiveTheSameAnswerLineAsSingleCarriageReturns) {
    cardsim::CardConfig card = ModemCard();
    card.modem.lineEnd = GetParam();
    ModemBench bench(card);
    ASSERT_TRUE(bench.Open());
    ASSERT_TRUE(bench.Send("ATD1"));
    EXPECT_EQ(bench.Answer(), "CONNECT 9600");
    ASSERT_TRUE(bench.control.SetLedProperty(1, 256, 64));
    EXPECT_TRUE(bench.control.Reset());
}

INSTANTIATE_TEST_SUITE_P(OfTheModem, ModemLineEnds,
                         ::testing::Values(cardsim::ModemLineEnd::CrLf, cardsim::ModemLineEnd::LfCr,
                                           cardsim::ModemLineEnd::Blank),
                         [](const auto& info) {
                             switch (info.param) {
                             case cardsim::ModemLineEnd::CrLf: return "CrLf";
                             case cardsim::ModemLineEnd::LfCr: return "LfCr";
                             case cardsim::ModemLineEnd::Blank: return "Blank";
                             }
                             return "Unknown";
                         });
