// The cardsim program as a script runs it: start, read what it serves,
// talk to it, stop it with a signal.
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

using simtest::Bytes;
using simtest::Hex;

using simtest::CCardsimProcess;

TEST(SimProgram, ServesPtyAndTcpUntilSigtermAndRemovesItsLink) {
    simtest::CTempDir dir;
    const std::string link = dir.File("ttyCard");
    CCardsimProcess child;
    ASSERT_TRUE(
        child.Spawn(CARDSIM_PATH, {"--pty", link, "--tcp", "0", "--card", "3", "--baud", "19200"}));
    ASSERT_TRUE(child.WaitForLines(2)) << child.Output();
    EXPECT_NE(child.Output().find("cardsim: card 3 on pty " + link + " -> /dev/pts/"),
              std::string::npos)
        << child.Output();
    EXPECT_NE(child.Output().find("at 19200 bit/s"), std::string::npos) << child.Output();
    const auto at = child.Output().find("on tcp 127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << child.Output();
    const unsigned port = static_cast<unsigned>(std::stoul(child.Output().substr(at + 17)));
    EXPECT_TRUE(std::filesystem::is_symlink(link));

    cardsim::CUniqueFd conn = simtest::ConnectLoopback(port);
    ASSERT_TRUE(conn.Valid());
    ASSERT_TRUE(simtest::WriteAll(conn.Get(), simtest::MakeFrame(3, {'Z'})));
    EXPECT_EQ(simtest::ReadUpTo(conn.Get(), 6).size(), 6u);

    ASSERT_EQ(::kill(child.Pid(), SIGTERM), 0);
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(SimProgram, RejectsBadOptionsWithExitCodeTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {},                                  // nothing to serve
        {"--tcp", "0", "--card", "32"},      // no such card number
        {"--tcp", "0", "--drop", "1.5"},     // share above 1
        {"--tcp", "0", "--delay", "50:x"},   // share not a number
        {"--tcp", "0", "--frobnicate"},      // unknown option
        {"--tcp", "70000"},                  // port out of range
    };
    for (const auto& args : bad) {
        CCardsimProcess child;
        ASSERT_TRUE(child.Spawn(CARDSIM_PATH, args));
        EXPECT_EQ(child.Wait(), 2) << testing::PrintToString(args);
        EXPECT_NE(child.ErrorText().find("cardsim: "), std::string::npos)
            << testing::PrintToString(args);
    }
}
