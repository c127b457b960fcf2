#include "control/link/linux_termios2.h"
#include "control/link/palvex_ctrl.h"
#include "control/palvex_facts.h"
#include "control/protocol/deadline.h"
#include "tests/link/pty_pair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testing_support::CPtyPair;
using Bytes = std::vector<unsigned char>;

namespace {

constexpr int kPort = 9;
const Bytes kZFrame = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0x00, 0x01, 'Z', 0xC8, 0x8E};
const Bytes kZAck = {0x05, 'Z', 0xC8, 0x8E, 'O', 'K'};

short Speed(unsigned baud) {
    return static_cast<short>(static_cast<std::uint16_t>(baud));
}

} // namespace

TEST(SerialLink, OpensAtEveryCardSpeedExactly) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    for (unsigned baud : {9600u, 14400u, 28800u, 38400u, 57600u}) {
        CPalvexCtrl c;
        ASSERT_TRUE(c.ComInitial(kPort, Speed(baud), 1000)) << baud;
        EXPECT_EQ(pty.LineSpeed(), baud);
        EXPECT_TRUE(c.IsLinkOpen());
        EXPECT_EQ(c.LinkKind(), 0);
        EXPECT_EQ(c.WaitTime(), 1000);
        c.QKClose();
    }
}

TEST(SerialLink, RefusesOtherSpeedsWithoutTouchingThePort) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    {
        // A speed no open below would set: a control gives the line back as
        // it found it, so it is set here directly.
        palvex::CUniqueFd slave(::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        ASSERT_TRUE(palvex::SetRaw8N1(slave.Get(), 9600));
    }
    CPalvexCtrl c;
    for (int baud : {19200, 115200 & 0xFFFF, 0, 300, -1}) {
        EXPECT_FALSE(c.ComInitial(kPort, static_cast<short>(baud), 100)) << baud;
        EXPECT_FALSE(c.IsLinkOpen());
    }
    EXPECT_EQ(pty.LineSpeed(), 9600u);
}

TEST(SerialLink, OpensAtEverySixteenBitSpeedThatTheCardFactsNameAndNoOther) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl c;
    int opened = 0;
    for (unsigned pattern = 0; pattern <= 0xFFFF; ++pattern) {
        const bool fact = palvex::card::IsBaudRate(pattern);
        ASSERT_EQ(c.ComInitial(kPort, Speed(pattern), 100) != FALSE, fact) << pattern;
        if (fact) {
            EXPECT_EQ(pty.LineSpeed(), pattern);
            c.QKClose();
            ++opened;
        }
    }
    EXPECT_EQ(opened, static_cast<int>(palvex::card::kBaudRates.size()));
}

TEST(SerialLink, RaisesShortWaitTimesToOneHundredMilliseconds) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 0));
    EXPECT_EQ(c.WaitTime(), 100);
    c.QKClose();
    ASSERT_TRUE(c.ComInitial(kPort, 9600, -20));
    EXPECT_EQ(c.WaitTime(), 100);
}

TEST(SerialLink, KeepsTheFirstLinkWhenOpenedTwice) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 500));
    EXPECT_FALSE(c.ComInitial(kPort, 57600 & 0xFFFF, 100));
    EXPECT_FALSE(c.NetInitial(0, 0x7F000001, 1, 100));
    EXPECT_EQ(c.WaitTime(), 500);
    EXPECT_EQ(c.LinkKind(), 0);
    EXPECT_EQ(pty.LineSpeed(), 9600u);
}

TEST(SerialLink, FailsForAMissingDeviceOrOneThatIsNotATerminal) {
    ::setenv("PALVEX_COM9", "/nonexistent/tty", 1);
    CPalvexCtrl c;
    EXPECT_FALSE(c.ComInitial(kPort, 9600, 100));
    ::setenv("PALVEX_COM9", "/dev/null", 1);
    EXPECT_FALSE(c.ComInitial(kPort, 9600, 100));
    ::unsetenv("PALVEX_COM9");
    EXPECT_FALSE(c.ComInitial(0, 9600, 100));
    EXPECT_FALSE(c.IsLinkOpen());
}

TEST(SerialLink, RefusesASecondOpenFromThisOrAnotherProcess) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl first;
    ASSERT_TRUE(first.ComInitial(kPort, 9600, 100));
    CPalvexCtrl second;
    EXPECT_FALSE(second.ComInitial(kPort, 9600, 100));
    int exclusive = 0;
    ASSERT_EQ(::ioctl(first.SerialLine().Descriptor(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "a refused open must not lift the holder's exclusive flag";

    const pid_t child = ::fork();
    if (child == 0) {
        CPalvexCtrl other;
        ::_exit(other.ComInitial(kPort, 9600, 100) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process opened it";

    first.QKClose();
    EXPECT_TRUE(second.ComInitial(kPort, 9600, 100)); // released on close
}

TEST(SerialLink, ExchangesAFrameAndGathersAReplyInPieces) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 1000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::thread card([&] {
        const Bytes frame = pty.ReadMaster(kZFrame.size(), 2000);
        EXPECT_EQ(frame, kZFrame);
        pty.WriteMaster(Bytes(kZAck.begin(), kZAck.begin() + 2));
        pty.WriteMaster(Bytes(kZAck.begin() + 2, kZAck.end()));
    });
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    card.join();
}

TEST(SerialLink, WaitsFourMillisecondsPerBytePlusTheWaitTimeOnEachAttempt) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 57600 & 0xFFFF, 0));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0)); // nobody answers
    const auto elapsedMs = (palvex::CDeadline::NowNs() - start) / 1000000;
    EXPECT_GE(elapsedMs, 5 * (4 * 6 + 100));
    EXPECT_LT(elapsedMs, 5000); // bounded: no hang
    // Every attempt sent the whole frame again.
    const Bytes sent = pty.ReadMaster(5 * kZFrame.size(), 200);
    EXPECT_EQ(sent.size(), 5 * kZFrame.size());
}

TEST(SerialLink, DiscardsStaleInputBeforeEachAttempt) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 1000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    pty.WriteMaster({0x05, 'X', 'X'});        // noise left on the line
    ASSERT_TRUE(pty.WaitSlaveInput(3, 2000)); // it lies in the terminal's input queue
    std::thread card([&] {
        pty.ReadMaster(kZFrame.size(), 2000);
        pty.WriteMaster(kZAck);
    });
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    card.join();
}

TEST(SerialLink, GivesUpPromptlyWhenTheDeviceGoesAway) {
    auto pty = std::make_unique<CPtyPair>();
    pty->MapToPort(kPort);
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 3000));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    pty->CloseMaster();
    const auto start = palvex::CDeadline::NowNs();
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_LT((palvex::CDeadline::NowNs() - start) / 1000000, 3000);
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
}

TEST(SerialLink, CloseResetsTheFlagsAndIsHarmlessWhenClosed) {
    CPalvexCtrl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
    short count = -1;
    EXPECT_FALSE(c.GetSendString(&count, nullptr)); // disarmed
    EXPECT_EQ(c.GetTotalPageNum(), 63);             // screen values survive
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    EXPECT_FALSE(c.Reset()); // sending again: with no link the command fails
    c.QKClose();
    EXPECT_FALSE(c.IsLinkOpen());
}
