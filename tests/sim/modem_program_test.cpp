// The cardsim program started with the modem options, as a script starts it.
#include "sim_test_support.h"

#include "control/link/linux_termios2.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>

using simtest::Bytes;
using simtest::CCardsimProcess;

namespace {

std::string Ask(int fd, std::string_view text) {
    EXPECT_TRUE(simtest::WriteAll(fd, Bytes(text.begin(), text.end())));
    const Bytes got = simtest::ReadUpTo(fd, 4096, 150);
    return std::string(got.begin(), got.end());
}

} // namespace

TEST(SimModemProgram, PutsAModemWithTheGivenSettingsInFrontOfTheCard) {
    simtest::CTempDir dir;
    const std::string link = dir.File("ttyModem");
    CCardsimProcess sim;
    ASSERT_TRUE(
        sim.Spawn(CARDSIM_PATH, {"--pty", link, "--card", "2", "--modem-echo", "off", "--line-end",
                                 "lfcr", "--dial-delay", "120", "--dial-answer", "CONNECT 19200"}));
    ASSERT_TRUE(sim.WaitForLines(1));
    const std::string first = sim.Output();
    EXPECT_NE(first.find("cardsim: modem on pty " + link + " -> /dev/pts/"), std::string::npos)
        << first;
    EXPECT_NE(first.find("at 57600 bit/s, card 2 behind it"), std::string::npos) << first;

    cardsim::CUniqueFd line(::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(line.Valid());
    ASSERT_TRUE(palvex::SetRaw8N1(line.Get(), 57600));
    EXPECT_EQ(Ask(line.Get(), "AT&F0\r"), "\n\rOK\n\r");
    ASSERT_TRUE(simtest::WriteAll(line.Get(), Bytes{'A', 'T', 'D', '7', '\r'}));
    const Bytes connect = simtest::ReadUpTo(line.Get(), 17, 500);
    EXPECT_EQ(std::string(connect.begin(), connect.end()), "\n\rCONNECT 19200\n\r");
    ASSERT_TRUE(simtest::WriteAll(line.Get(), simtest::MakeFrame(2, {'Z'})));
    EXPECT_EQ(simtest::ReadUpTo(line.Get(), 6).size(), 6u);

    ASSERT_EQ(::kill(sim.Pid(), SIGTERM), 0);
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimModemProgram, StartsSwitchedOffWhenAsked) {
    simtest::CTempDir dir;
    const std::string link = dir.File("ttyModem");
    CCardsimProcess sim;
    ASSERT_TRUE(sim.Spawn(CARDSIM_PATH, {"--pty", link, "--modem-off"}));
    ASSERT_TRUE(sim.WaitForLines(1));
    EXPECT_NE(sim.Output().find("modem (switched off) on pty"), std::string::npos);
    cardsim::CUniqueFd line(::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(line.Valid());
    ASSERT_TRUE(palvex::SetRaw8N1(line.Get(), 57600));
    EXPECT_EQ(Ask(line.Get(), "AT&F0\r"), "");
}

TEST(SimModemProgram, RejectsBadModemOptionsWithExitCodeTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"--tcp", "0", "--modem"}, // a modem needs the pty
        {"--pty", "/nonexistent-dir/ttyModem", "--modem-echo", "maybe"},
        {"--pty", "/nonexistent-dir/ttyModem", "--line-end", "cr"},
        {"--pty", "/nonexistent-dir/ttyModem", "--dial-delay", "-5"},
        {"--pty", "/nonexistent-dir/ttyModem", "--guard", "1s"},
        {"--pty", "/nonexistent-dir/ttyModem", "--dial-answer", "HELLO"},
    };
    for (const auto& args : bad) {
        CCardsimProcess sim;
        ASSERT_TRUE(sim.Spawn(CARDSIM_PATH, args));
        EXPECT_EQ(sim.Wait(), 2) << testing::PrintToString(args);
        EXPECT_NE(sim.ErrorText().find("cardsim: "), std::string::npos)
            << testing::PrintToString(args);
    }
}
