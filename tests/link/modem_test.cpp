// The modem link against a modem played by the test on the master side of a
// pseudo-terminal.
#include "control/protocol/deadline.h"
#include "control/link/palvex_ctrl.h"
#include "control/protocol/modem_reply.h"
#include "tests/link/pty_pair.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

using testing_support::CPtyPair;

namespace {

constexpr int kPort = 10;

std::vector<unsigned char> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Reads the next command (up to and including its CR) from the line.
std::string ReadCommand(const CPtyPair& pty, int ms = 2000) {
    std::string cmd;
    while (cmd.empty() || cmd.back() != '\r') {
        auto b = pty.ReadMaster(1, ms);
        if (b.empty()) break;
        cmd += static_cast<char>(b[0]);
    }
    return cmd;
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// What the modem does with the next command: echo it or not, then, after a
// pause (none: in the same burst), send `after`.
struct SModemAnswer {
    bool echo;
    int pauseMs;
    std::string after;
};

SModemAnswer Echoed(std::string after, int pauseMs = 0) {
    return {true, pauseMs, after};
}
SModemAnswer NotEchoed(std::string after) {
    return {false, 0, after};
}

struct ModemLine {
    CPtyPair pty;
    CPalvexCtrl control;
    char answer[128];
    char guard[16]; // right behind the answer: must stay untouched
    ModemLine() {
        pty.MapToPort(kPort);
        control.SetModemSlowCommandWait(1500);
        std::memset(answer, 'x', sizeof answer);
        std::memset(guard, 'g', sizeof guard);
    }
    // Plays the modem for the next command; `seen` gets the command.
    std::thread Answer(SModemAnswer a, std::string& seen) {
        return std::thread([this, a, &seen] {
            seen = ReadCommand(pty);
            const std::string echo = a.echo ? seen : "";
            if (a.pauseMs == 0) {
                if (!(echo + a.after).empty()) pty.WriteMaster(Bytes(echo + a.after));
                return;
            }
            pty.WriteMaster(Bytes(echo));
            Pause(a.pauseMs);
            pty.WriteMaster(Bytes(a.after));
        });
    }
    // Opens the line as a modem link with a modem that answers AT&F0 at once.
    void OpenWithEcho(short waitTime = 400) {
        std::string reset;
        std::thread modem = Answer(Echoed("\r\nOK\r\n"), reset);
        ASSERT_TRUE(control.ModemInitial(kPort, waitTime));
        modem.join();
    }
    BOOL Send(const char* cmd) {
        return control.SendModemCmd(reinterpret_cast<LONG_PTR>(cmd), reinterpret_cast<LONG_PTR>(answer));
    }
};

} // namespace

TEST(ModemInitial, ResetsAnEchoingModemAndOpensTheLink) {
    ModemLine m;
    std::string seen;
    std::thread modem = m.Answer(Echoed("\r\nOK\r\n"), seen);
    ASSERT_TRUE(m.control.ModemInitial(kPort, 0));
    modem.join();
    EXPECT_EQ(seen, "AT&F0\r");
    EXPECT_TRUE(m.control.IsLinkOpen());
    EXPECT_EQ(m.control.LinkKind(), 2);
    EXPECT_EQ(m.control.WaitTime(), 100);
    EXPECT_EQ(m.pty.LineSpeed(), 57600u);
    EXPECT_FALSE(m.control.ModemInitial(kPort, 100)); // already open
}

TEST(ModemInitial, ClosesThePortAgainWhenTheModemIsSwitchedOff) {
    ModemLine m;
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(m.control.ModemInitial(kPort, 700));
    const auto ms = (palvex::CDeadline::NowNs() - start) / 1000000;
    EXPECT_GE(ms, 104);
    EXPECT_LT(ms, 2000);
    EXPECT_FALSE(m.control.IsLinkOpen());
    EXPECT_EQ(m.control.LinkKind(), 2);
    EXPECT_EQ(m.control.WaitTime(), 700);
    CPalvexCtrl other;
    EXPECT_TRUE(other.ComInitial(kPort, 9600, 100)); // the port is free again
}

namespace {

struct SCommandCase {
    const char* name;
    std::string command;
    SModemAnswer modem;
    BOOL result;
    std::string answer; // what the caller's buffer holds afterwards
    int slowWaitMs = 1500;
    bool lineQuietAfter = false; // nothing more went out on the line
    bool nextCommandWorks = false;
};

void PrintTo(const SCommandCase& c, std::ostream* out) {
    *out << c.name;
}

class SendModemCmd : public testing::TestWithParam<SCommandCase> {};

} // namespace

TEST_P(SendModemCmd, GivesTheModemsAnswerOrFalse) {
    const SCommandCase& tc = GetParam();
    ModemLine m;
    m.OpenWithEcho();
    m.control.SetModemSlowCommandWait(tc.slowWaitMs);
    std::string seen;
    std::thread modem = m.Answer(tc.modem, seen);
    EXPECT_EQ(m.Send(tc.command.c_str()), tc.result);
    modem.join();
    EXPECT_EQ(seen, tc.command + "\r");
    EXPECT_STREQ(m.answer, tc.answer.c_str());
    EXPECT_EQ(std::string(m.guard, sizeof m.guard), std::string(sizeof m.guard, 'g'));
    EXPECT_EQ(m.control.WaitTime(), 400); // frames wait the full time again
    if (tc.lineQuietAfter) {
        EXPECT_TRUE(m.pty.ReadMaster(1, 50).empty());
    }
    if (tc.nextCommandWorks) {
        std::thread next = m.Answer(Echoed("\r\nOK\r\n"), seen);
        EXPECT_TRUE(m.Send("AT"));
        next.join();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modem, SendModemCmd,
    testing::Values(
        SCommandCase{"ReturnsTheRawAnswerWhenOkComesAtOnce", "ATE1", Echoed("\r\nOK\r\n"), TRUE,
                     "ATE1\r\r\nOK\r\n"},
        // The pause is longer than a burst's silence.
        SCommandCase{"WaitsForTheAnswerLineOfASlowCommand", "ATD5551234",
                     Echoed("\r\nCONNECT 9600\r\n", 400), TRUE, "CONNECT 9600"},
        SCommandCase{"SplitsMixedLineEndsLikeSingleCarriageReturns", "ATD1",
                     Echoed("\n\r\r\n\nCONNECT 9600/ARQ\n\r\r\n\r\nEXTRA\r\n", 250), TRUE,
                     "CONNECT 9600/ARQ"},
        SCommandCase{"GivesAnEmptyTextForASlowOk", "ATZ", Echoed("\r\nOK\r\n", 250), TRUE, ""},
        SCommandCase{"FailsOnAnEchoThatIsNeverAnswered", "ATD1", Echoed(""), FALSE, "", 300},
        SCommandCase{"FailsWhenOnlyBlankLinesFollowTheEcho", "ATD1", Echoed("\r\n\r\n", 250), FALSE,
                     ""},
        SCommandCase{"FailsOnAnAnswerThatIsNeitherOkNorTheEcho", "ATX99", NotEchoed("ERROR\r\n"),
                     FALSE, ""},
        SCommandCase{"KeepsALongAnswerInsideItsBuffer", "ATI",
                     NotEchoed("OK " + std::string(400, 'z') + "\r\n"), TRUE,
                     "OK " + std::string(124, 'z'), 1500, true},
        // The echo of a 126-character command with its CR takes 127 bytes,
        // all the answer buffer holds besides the terminator: what the modem
        // says after the pause has no room and must be dropped, not written
        // past it; the line is in order for the next command.
        SCommandCase{"DropsTheAnswerOfASlowCommandWhoseEchoFillsTheBuffer",
                     "ATD" + std::string(123, '5'), Echoed("\r\nCONNECT 9600\r\n", 250), FALSE, "",
                     1500, false, true}),
    [](const testing::TestParamInfo<SCommandCase>& info) { return std::string(info.param.name); });

TEST(SendModemCmd, RefusesCommandsLongerThanTheBufferWithoutWriting) {
    ModemLine m;
    m.OpenWithEcho();
    const std::string longest(126, 'A');
    const std::string tooLong(127, 'A');
    EXPECT_FALSE(m.Send(tooLong.c_str()));
    EXPECT_STREQ(m.answer, "");
    EXPECT_TRUE(m.pty.ReadMaster(1, 150).empty()); // nothing went out
    std::string seen;
    std::thread modem = m.Answer(NotEchoed("OK\r\n"), seen);
    EXPECT_TRUE(m.Send(longest.c_str()));
    modem.join();
    EXPECT_EQ(seen, longest + "\r");
}

TEST(SendModemCmd, NeedsASerialLine) {
    CPalvexCtrl control;
    char answer[128] = "stale";
    EXPECT_FALSE(control.SendModemCmd(reinterpret_cast<LONG_PTR>("AT"), reinterpret_cast<LONG_PTR>(answer)));
    EXPECT_STREQ(answer, "");
}

TEST(ModemLink, MakesTenAttemptsPerFrame) {
    ModemLine m;
    m.OpenWithEcho(100);
    ASSERT_TRUE(m.control.SetLedProperty(1, 256, 64));
    EXPECT_FALSE(m.control.Reset());
    EXPECT_EQ(m.pty.ReadMaster(200, 300).size(), 10u * 12u);
    m.control.QKClose();
    EXPECT_FALSE(m.control.IsLinkOpen());
}

TEST(NormalizeModemReply, FoldsEveryRunOfLineEndsIntoOneCarriageReturn) {
    char out[64];
    NormalizeModemReply("A\r\n\n\rB\n", out, sizeof out);
    EXPECT_STREQ(out, "A\rB\r");
    NormalizeModemReply("", out, sizeof out);
    EXPECT_STREQ(out, "\r");
    NormalizeModemReply("NO CARRIER", out, sizeof out);
    EXPECT_STREQ(out, "NO CARRIER\r");
    char tiny[6];
    NormalizeModemReply("ABCDEFGH", tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "ABCD\r");
}

TEST(ModemReplyLine, SkipsEmptyLinesLikeStrtok) {
    char line[16];
    ASSERT_TRUE(ModemReplyLine("\r\rATD1\r\rCONNECT\r", 1, line, sizeof line));
    EXPECT_STREQ(line, "CONNECT");
    ASSERT_TRUE(ModemReplyLine("ONE", 0, line, sizeof line));
    EXPECT_STREQ(line, "ONE");
    EXPECT_FALSE(ModemReplyLine("\r\r", 0, line, sizeof line));
    EXPECT_FALSE(ModemReplyLine("ONE\r", 1, line, sizeof line));
}
