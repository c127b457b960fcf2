// The cardsim program as a script runs it: start, read what it serves,
// talk to it, stop it with a signal.
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using simtest::Bytes;
using simtest::Hex;

namespace {

// Process start and exit are given longer than a reply: a busy machine may
// take a while to schedule a new program.
constexpr int kProcessWaitMs = 3000;

struct Child {
    pid_t pid = -1;
    cardsim::CUniqueFd out;
    cardsim::CUniqueFd err;
    std::string outText;

    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    bool Spawn(std::vector<std::string> args) {
        int outPipe[2], errPipe[2];
        if (::pipe2(outPipe, O_CLOEXEC) != 0) return false;
        if (::pipe2(errPipe, O_CLOEXEC) != 0) return false;
        out.Reset(outPipe[0]);
        err.Reset(errPipe[0]);
        cardsim::CUniqueFd outW(outPipe[1]), errW(errPipe[1]);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, outW.Get(), 1);
        posix_spawn_file_actions_adddup2(&fa, errW.Get(), 2);
        args.insert(args.begin(), CARDSIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid, CARDSIM_PATH, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        return rc == 0;
    }

    // Reads stdout until `lines` newline characters arrived in all.
    bool WaitForLines(int lines) {
        while (std::count(outText.begin(), outText.end(), '\n') < lines) {
            const Bytes got = simtest::ReadUpTo(out.Get(), 1, kProcessWaitMs);
            if (got.empty()) return false;
            outText.append(got.begin(), got.end());
        }
        return true;
    }

    // Exit status, or -1 when it did not end in time.
    int Wait() {
        for (int waited = 0; waited < kProcessWaitMs; waited += 10) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::poll(nullptr, 0, 10);
        }
        return -1;
    }
};

} // namespace

TEST(SimProgram, ServesPtyAndTcpUntilSigtermAndRemovesItsLink) {
    simtest::CTempDir dir;
    const std::string link = dir.File("ttyCard");
    Child child;
    ASSERT_TRUE(child.Spawn({"--pty", link, "--tcp", "0", "--card", "3", "--baud", "19200"}));
    ASSERT_TRUE(child.WaitForLines(2)) << child.outText;
    EXPECT_NE(child.outText.find("cardsim: card 3 on pty " + link + " -> /dev/pts/"),
              std::string::npos) << child.outText;
    EXPECT_NE(child.outText.find("at 19200 bit/s"), std::string::npos) << child.outText;
    const auto at = child.outText.find("on tcp 127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << child.outText;
    const unsigned port = static_cast<unsigned>(std::stoul(child.outText.substr(at + 17)));
    EXPECT_TRUE(std::filesystem::is_symlink(link));

    cardsim::CUniqueFd conn = simtest::ConnectLoopback(port);
    ASSERT_TRUE(conn.Valid());
    ASSERT_TRUE(simtest::WriteAll(conn.Get(), simtest::MakeFrame(3, {'Z'})));
    EXPECT_EQ(simtest::ReadUpTo(conn.Get(), 6).size(), 6u);

    ASSERT_EQ(::kill(child.pid, SIGTERM), 0);
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
        Child child;
        ASSERT_TRUE(child.Spawn(args));
        EXPECT_EQ(child.Wait(), 2) << testing::PrintToString(args);
        const Bytes err = simtest::ReadUpTo(child.err.Get(), 4096, 100);
        EXPECT_NE(std::string(err.begin(), err.end()).find("cardsim: "), std::string::npos)
            << testing::PrintToString(args);
    }
}
