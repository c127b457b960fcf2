// The cardsim program started with the modem options, as a script starts it.
#include "sim_test_support.h"

#include "control/link/linux_termios2.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using simtest::Bytes;

namespace {

constexpr int kProcessWaitMs = 3000;

// One cardsim process with its standard output and error on pipes.
class CCardsimProcess {
public:
    ~CCardsimProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool Spawn(std::vector<std::string> args) {
        int outPipe[2], errPipe[2];
        if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return false;
        m_out.Reset(outPipe[0]);
        m_err.Reset(errPipe[0]);
        cardsim::CUniqueFd outW(outPipe[1]), errW(errPipe[1]);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, outW.Get(), 1);
        posix_spawn_file_actions_adddup2(&fa, errW.Get(), 2);
        args.insert(args.begin(), CARDSIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, CARDSIM_PATH, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        return rc == 0;
    }

    // Standard output up to and including its first newline.
    std::string FirstLine() {
        std::string text;
        while (text.empty() || text.back() != '\n') {
            const Bytes got = simtest::ReadUpTo(m_out.Get(), 1, kProcessWaitMs);
            if (got.empty()) break;
            text += static_cast<char>(got[0]);
        }
        return text;
    }

    std::string ErrorText() {
        const Bytes err = simtest::ReadUpTo(m_err.Get(), 4096, 100);
        return std::string(err.begin(), err.end());
    }

    // Exit status, or -1 when it did not end in time.
    int Wait() {
        for (int waited = 0; waited < kProcessWaitMs; waited += 10) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            ::poll(nullptr, 0, 10);
        }
        return -1;
    }

    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    cardsim::CUniqueFd m_out;
    cardsim::CUniqueFd m_err;
};

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
    ASSERT_TRUE(sim.Spawn({"--pty", link, "--card", "2", "--modem-echo", "off", "--line-end",
                           "lfcr", "--dial-delay", "120", "--dial-answer", "CONNECT 19200"}));
    const std::string first = sim.FirstLine();
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
    ASSERT_TRUE(sim.Spawn({"--pty", link, "--modem-off"}));
    EXPECT_NE(sim.FirstLine().find("modem (switched off) on pty"), std::string::npos);
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
        ASSERT_TRUE(sim.Spawn(args));
        EXPECT_EQ(sim.Wait(), 2) << testing::PrintToString(args);
        EXPECT_NE(sim.ErrorText().find("cardsim: "), std::string::npos)
            << testing::PrintToString(args);
    }
}
