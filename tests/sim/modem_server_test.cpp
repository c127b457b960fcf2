// The card server with a modem in front of it on a real pseudo terminal: the
// line is opened through the symbolic link at the modem's speed, as the
// control opens it, and the clock is the real one (short delays).
#include "sim/card_server.h"

#include "control/link/linux_termios2.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <thread>

using cardsim::CardConfig;
using cardsim::CCardServer;
using cardsim::CUniqueFd;
using simtest::Bytes;
using simtest::ReadUpTo;
using simtest::WriteAll;

namespace {

constexpr int kDialMs = 150;
constexpr int kGuardMs = 100;

const Bytes kZFrame = simtest::Hex("1B 24 51 4B 30 31 57 00 01 5A C8 8E");
const Bytes kZAck = simtest::Hex("05 5A C8 8E 4F 4B");

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }
std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

CUniqueFd OpenLine(const std::string& path, unsigned baud) {
    CUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd && !palvex::SetRaw8N1(fd.Get(), baud)) fd.Reset();
    return fd;
}

CardConfig ModemCard() {
    CardConfig c; // the card itself keeps its 9600 bit/s
    c.modem.enabled = true;
    c.modem.dialDelayMs = kDialMs;
    c.modem.guardMs = kGuardMs;
    return c;
}

class SimModem : public ::testing::Test {
protected:
    void Serve(const CardConfig& card = ModemCard()) {
        link = dir.File("ttyModem");
        server = std::make_unique<CCardServer>(card);
        watch.Attach(*server);
        ASSERT_TRUE(server->ServePty(link)) << server->LastError();
        ASSERT_TRUE(server->Start());
        line = OpenLine(link, 57600);
        ASSERT_TRUE(line.Valid());
    }
    // Sends `text` and returns what comes back until 150 ms of silence.
    std::string Ask(std::string_view text) {
        EXPECT_TRUE(WriteAll(line.Get(), B(text)));
        return S(ReadUpTo(line.Get(), 4096, 150));
    }
    void Connect() {
        ASSERT_TRUE(WriteAll(line.Get(), B("ATD1\r")));
        ASSERT_EQ(S(ReadUpTo(line.Get(), 21, kDialMs + 300)), "ATD1\r\r\nCONNECT 9600\r\n");
        ASSERT_TRUE(watch.WaitFor("online"));
    }

    simtest::CTempDir dir;
    simtest::CLogWatch watch;
    std::unique_ptr<CCardServer> server;
    std::string link;
    CUniqueFd line;
};

} // namespace

TEST_F(SimModem, AnswersTheFactoryResetWithEchoAndOk) {
    Serve();
    EXPECT_EQ(Ask("AT&F0\r"), "AT&F0\r\r\nOK\r\n");
    EXPECT_EQ(Ask("ATX99\r"), "ATX99\r\r\nERROR\r\n");
    EXPECT_EQ(server->Stats().framesOk, 0u);
}

TEST_F(SimModem, SendsTheEchoOfADialFirstAndTheConnectAfterTheDelay) {
    Serve();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WriteAll(line.Get(), B("ATD5551234\r")));
    EXPECT_EQ(S(ReadUpTo(line.Get(), 11, 100)), "ATD5551234\r");
    EXPECT_EQ(S(ReadUpTo(line.Get(), 16, kDialMs + 300)), "\r\nCONNECT 9600\r\n");
    // The control sees the bare echo first and takes the dial for a slow command.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kDialMs));
}

TEST_F(SimModem, PassesFramesToTheCardAtTheModemsSpeedOnceConnected) {
    Serve();
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));        // before the call: not for the card
    EXPECT_EQ(ReadUpTo(line.Get(), 12, 150), kZFrame); // only the modem's echo
    Connect();
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(line.Get(), 6), kZAck);
    EXPECT_EQ(server->Stats().framesOk, 1u);
    EXPECT_EQ(server->Stats().wrongSpeed, 0u);
}

TEST_F(SimModem, LetsTheCardIgnoreFramesWhenTheLineLeavesTheModemsSpeed) {
    Serve();
    Connect();
    ASSERT_TRUE(palvex::SetRaw8N1(line.Get(), 9600)); // the card's own speed
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    ASSERT_TRUE(watch.WaitFor("no answer"));
    EXPECT_TRUE(simtest::ReadAvailable(line.Get()).empty());
    EXPECT_EQ(server->Stats().wrongSpeed, 1u);
}

TEST_F(SimModem, ReturnsToCommandStateOnAGuardedEscapeAndHangsUpOnAth) {
    Serve();
    Connect();
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    ASSERT_EQ(ReadUpTo(line.Get(), 6), kZAck);
    Pause(kGuardMs + 20);
    ASSERT_TRUE(WriteAll(line.Get(), B("+++")));
    EXPECT_EQ(S(ReadUpTo(line.Get(), 6, kGuardMs + 300)), "\r\nOK\r\n");
    EXPECT_EQ(Ask("ATH\r"), "ATH\r\r\nOK\r\n");
    EXPECT_TRUE(watch.WaitFor("hung up (ATH)"));
    // The modem now reads the frame as text and echoes it; the card gets nothing.
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(line.Get(), 12, 150), kZFrame);
    EXPECT_EQ(server->Stats().framesOk, 1u);
}

TEST_F(SimModem, HangsUpWhenTheControlClosesThePort) {
    Serve();
    Connect();
    line.Reset();
    ASSERT_TRUE(watch.WaitFor("DTR dropped, hung up"));
    line = OpenLine(link, 57600);
    ASSERT_TRUE(line.Valid());
    EXPECT_EQ(Ask("AT&F0\r"), "AT&F0\r\r\nOK\r\n");
    EXPECT_EQ(server->Stats().garbageBytes, 0u); // nothing reached the card
}

TEST_F(SimModem, KeepsTheCallWhileAnotherHolderOfThePortRemains) {
    Serve();
    Connect();
    CUniqueFd second = OpenLine(link, 57600);
    ASSERT_TRUE(second.Valid());
    second.Reset(); // the first holder still has the port open: DTR stays up
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(line.Get(), 6), kZAck);
    ASSERT_TRUE(watch.WaitFor("reply 6 byte(s)"));
    for (const std::string& l : watch.Lines())
        EXPECT_EQ(l.find("port closed"), std::string::npos) << l;
}

TEST_F(SimModem, AnswersNothingWhenSwitchedOff) {
    CardConfig card = ModemCard();
    card.modem.switchedOff = true;
    Serve(card);
    ASSERT_TRUE(WriteAll(line.Get(), B("AT&F0\r")));
    ASSERT_TRUE(watch.WaitFor("switched off, 6 byte(s) ignored"));
    EXPECT_TRUE(ReadUpTo(line.Get(), 1, 150).empty());
}

TEST_F(SimModem, UsesTheConfiguredLineEnds) {
    CardConfig card = ModemCard();
    card.modem.lineEnd = cardsim::ModemLineEnd::LfCr;
    Serve(card);
    EXPECT_EQ(Ask("AT\r"), "AT\r\n\rOK\n\r");
}

TEST_F(SimModem, LeavesTheTcpPortADirectLine) {
    simtest::CTempDir tmp;
    CCardServer direct(ModemCard());
    ASSERT_TRUE(direct.ServePty(tmp.File("ttyModem")));
    ASSERT_TRUE(direct.ServeTcp(0));
    ASSERT_TRUE(direct.Start());
    CUniqueFd conn = simtest::ConnectLoopback(direct.TcpPort());
    ASSERT_TRUE(conn.Valid());
    ASSERT_TRUE(WriteAll(conn.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(conn.Get(), 6), kZAck);
}
