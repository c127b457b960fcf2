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

struct ModemLine {
    CPtyPair pty;
    CPalvexCtrl control;
    char answer[128];
    ModemLine() {
        pty.MapToPort(kPort);
        control.SetModemSlowCommandWait(1500);
        std::memset(answer, 'x', sizeof answer);
    }
    // Opens the line as a modem link with a modem that answers AT&F0 at once.
    void OpenWithEcho(short waitTime = 400) {
        std::thread modem([&] {
            const std::string cmd = ReadCommand(pty);
            pty.WriteMaster(Bytes(cmd + "\r\nOK\r\n"));
        });
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
    std::thread modem([&] {
        seen = ReadCommand(m.pty);
        m.pty.WriteMaster(Bytes(seen + "\r\nOK\r\n"));
    });
    ASSERT_TRUE(m.control.ModemInitial(kPort, 0));
    modem.join();
    EXPECT_EQ(seen, "AT&F0\r");
    EXPECT_TRUE(m.control.IsLinkOpen());
    EXPECT_EQ(m.control.LinkKind(), 2);
    EXPECT_EQ(m.control.WaitTime(), 100);
    EXPECT_EQ(m.pty.LineSpeed(), 57600u);
    EXPECT_EQ(m.control.WaitTime(), 100);
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

TEST(SendModemCmd, ReturnsTheRawAnswerWhenOkComesAtOnce) {
    ModemLine m;
    m.OpenWithEcho();
    std::thread modem([&] {
        const std::string cmd = ReadCommand(m.pty);
        m.pty.WriteMaster(Bytes(cmd + "\r\nOK\r\n"));
    });
    EXPECT_TRUE(m.Send("ATE1"));
    modem.join();
    EXPECT_STREQ(m.answer, "ATE1\r\r\nOK\r\n");
    EXPECT_EQ(m.control.WaitTime(), 400); // frames wait the full time again
}

TEST(SendModemCmd, WaitsForTheAnswerLineOfASlowCommand) {
    ModemLine m;
    m.OpenWithEcho();
    std::thread modem([&] {
        const std::string cmd = ReadCommand(m.pty);
        m.pty.WriteMaster(Bytes(cmd));
        Pause(400); // longer than a burst's silence
        m.pty.WriteMaster(Bytes("\r\nCONNECT 9600\r\n"));
    });
    EXPECT_TRUE(m.Send("ATD5551234"));
    modem.join();
    EXPECT_STREQ(m.answer, "CONNECT 9600");
}

TEST(SendModemCmd, SplitsMixedLineEndsLikeSingleCarriageReturns) {
    ModemLine m;
    m.OpenWithEcho();
    std::thread modem([&] {
        m.pty.WriteMaster(Bytes(ReadCommand(m.pty)));
        Pause(250);
        m.pty.WriteMaster(Bytes("\n\r\r\n\nCONNECT 9600/ARQ\n\r\r\n\r\nEXTRA\r\n"));
    });
    EXPECT_TRUE(m.Send("ATD1"));
    modem.join();
    EXPECT_STREQ(m.answer, "CONNECT 9600/ARQ");
}

TEST(SendModemCmd, GivesAnEmptyTextForASlowOk) {
    ModemLine m;
    m.OpenWithEcho();
    std::thread modem([&] {
        m.pty.WriteMaster(Bytes(ReadCommand(m.pty)));
        Pause(250);
        m.pty.WriteMaster(Bytes("\r\nOK\r\n"));
    });
    EXPECT_TRUE(m.Send("ATZ"));
    modem.join();
    EXPECT_STREQ(m.answer, "");
}

TEST(SendModemCmd, FailsOnAnEchoThatIsNeverAnswered) {
    ModemLine m;
    m.OpenWithEcho();
    m.control.SetModemSlowCommandWait(300);
    std::thread modem([&] { m.pty.WriteMaster(Bytes(ReadCommand(m.pty))); });
    EXPECT_FALSE(m.Send("ATD1"));
    modem.join();
    EXPECT_STREQ(m.answer, "");
    EXPECT_EQ(m.control.WaitTime(), 400);
}

TEST(SendModemCmd, FailsWhenOnlyBlankLinesFollowTheEcho) {
    ModemLine m;
    m.OpenWithEcho();
    std::thread modem([&] {
        m.pty.WriteMaster(Bytes(ReadCommand(m.pty)));
        Pause(250);
        m.pty.WriteMaster(Bytes("\r\n\r\n"));
    });
    EXPECT_FALSE(m.Send("ATD1"));
    modem.join();
    EXPECT_STREQ(m.answer, "");
}

TEST(SendModemCmd, FailsOnAnAnswerThatIsNeitherOkNorTheEcho) {
    ModemLine m;
    m.OpenWithEcho();
    std::thread modem([&] {
        ReadCommand(m.pty);
        m.pty.WriteMaster(Bytes("ERROR\r\n"));
    });
    EXPECT_FALSE(m.Send("ATX99"));
    modem.join();
    EXPECT_STREQ(m.answer, "");
}

TEST(SendModemCmd, RefusesCommandsLongerThanTheBufferWithoutWriting) {
    ModemLine m;
    m.OpenWithEcho();
    const std::string longest(126, 'A');
    const std::string tooLong(127, 'A');
    EXPECT_FALSE(m.Send(tooLong.c_str()));
    EXPECT_STREQ(m.answer, "");
    EXPECT_TRUE(m.pty.ReadMaster(1, 150).empty()); // nothing went out
    std::string seen;
    std::thread modem([&] {
        seen = ReadCommand(m.pty);
        m.pty.WriteMaster(Bytes("OK\r\n"));
    });
    EXPECT_TRUE(m.Send(longest.c_str()));
    modem.join();
    EXPECT_EQ(seen, longest + "\r");
}

TEST(SendModemCmd, KeepsALongAnswerInsideItsBuffer) {
    ModemLine m;
    m.OpenWithEcho();
    std::thread modem([&] {
        ReadCommand(m.pty);
        m.pty.WriteMaster(Bytes("OK " + std::string(400, 'z') + "\r\n"));
    });
    char guard[16];
    std::memset(guard, 'g', sizeof guard);
    EXPECT_TRUE(m.Send("ATI"));
    modem.join();
    EXPECT_EQ(std::strlen(m.answer), 127u);
    EXPECT_EQ(std::string(m.answer, 3), "OK ");
    for (char g : guard) EXPECT_EQ(g, 'g');
    EXPECT_TRUE(m.pty.ReadMaster(1, 50).empty());
}

TEST(SendModemCmd, DropsTheAnswerOfASlowCommandWhoseEchoFillsTheBuffer) {
    // The echo of a 126-character command with its CR takes 127 bytes, all
    // the answer buffer holds besides the terminator: what the modem says
    // after the pause has no room and must be dropped, not written past it.
    ModemLine m;
    m.OpenWithEcho();
    const std::string dial = "ATD" + std::string(123, '5');
    std::thread modem([&] {
        m.pty.WriteMaster(Bytes(ReadCommand(m.pty)));
        Pause(250); // the dial is slow: the echo comes alone
        m.pty.WriteMaster(Bytes("\r\nCONNECT 9600\r\n"));
    });
    EXPECT_FALSE(m.Send(dial.c_str())); // no answer line fits after the echo
    modem.join();
    EXPECT_STREQ(m.answer, "");
    std::thread next([&] { m.pty.WriteMaster(Bytes(ReadCommand(m.pty) + "\r\nOK\r\n")); });
    EXPECT_TRUE(m.Send("AT")); // the line is in order for the next command
    next.join();
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
