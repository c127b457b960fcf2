// The cardsim program's snapshot file: written at start, rewritten after a
// frame that changes the screen, and again on SIGUSR1.
#include "png_reader.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

constexpr int kProcessWaitMs = 3000;

// cardsim started with its standard output on a pipe; killed at the end.
class CCardsimProcess {
  public:
    explicit CCardsimProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        m_out.Reset(out[0]);
        cardsim::CUniqueFd writeEnd(out[1]);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, writeEnd.Get(), 1);
        posix_spawn_file_actions_adddup2(&fa, writeEnd.Get(), 2);
        args.insert(args.begin(), CARDSIM_PATH);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&m_pid, CARDSIM_PATH, &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
    }
    ~CCardsimProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t Pid() const { return m_pid; }

    // Reads the output until it holds `text`.
    bool WaitForOutput(const std::string& text) {
        while (m_text.find(text) == std::string::npos) {
            const simtest::Bytes got = simtest::ReadUpTo(m_out.Get(), 1, kProcessWaitMs);
            if (got.empty()) return false;
            m_text.append(got.begin(), got.end());
        }
        return true;
    }
    const std::string& Output() const { return m_text; }

    int Wait() {
        for (int waited = 0; waited < kProcessWaitMs; waited += 5) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

  private:
    pid_t m_pid = -1;
    cardsim::CUniqueFd m_out;
    std::string m_text;
};

// Reads the file until `check` accepts the image, for a short while.
template <typename Check> bool FileBecomes(const std::string& path, Check check) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProcessWaitMs);
    do {
        if (const auto img = simtest::ReadPng(path); img && check(*img)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

unsigned TcpPort(const std::string& output) {
    const auto at = output.find("on tcp 127.0.0.1:");
    return at == std::string::npos ? 0 : static_cast<unsigned>(std::stoul(output.substr(at + 17)));
}

} // namespace

TEST(SimProgramSnapshot, TheFileShowsTheScreenFromTheStartAfterEachChangeAndOnSigusr1) {
    simtest::CTempDir dir;
    const std::string png = dir.File("screen.png");
    CCardsimProcess sim(
        {"--tcp", "0", "--width", "16", "--height", "8", "--snapshot", png, "--verbose"});
    ASSERT_TRUE(sim.WaitForOutput("snapshot in " + png)) << sim.Output();
    const auto dark = simtest::ReadPng(png);
    ASSERT_TRUE(dark.has_value());
    EXPECT_EQ(dark->width, 16 * cardsim::kSnapshotCell);
    EXPECT_EQ(simtest::LedCode(*dark, 5, 2), -1);

    ASSERT_TRUE(sim.WaitForOutput("on tcp"));
    cardsim::CUniqueFd conn = simtest::ConnectLoopback(TcpPort(sim.Output()));
    ASSERT_TRUE(conn.Valid());
    // Line(0, 0, 2, 15, 2, 1): a red row 2.
    ASSERT_TRUE(simtest::WriteAll(
        conn.Get(), simtest::MakeFrame(1, simtest::Hex("4B 00 0000 0002 000F 0002 01"))));
    EXPECT_EQ(simtest::ReadUpTo(conn.Get(), 6).size(), 6u);
    EXPECT_TRUE(FileBecomes(png, [](const cardsim::RgbImage& img) {
        return simtest::LedCode(img, 5, 2) == 1 && simtest::LedCode(img, 5, 3) == -1;
    }));
    EXPECT_TRUE(sim.WaitForOutput("line (0, 2)-(15, 2) in colour 1 (red) into bank 0"))
        << sim.Output();

    std::filesystem::remove(png);
    ASSERT_EQ(::kill(sim.Pid(), SIGUSR1), 0);
    EXPECT_TRUE(FileBecomes(
        png, [](const cardsim::RgbImage& img) { return simtest::LedCode(img, 15, 2) == 1; }));

    ASSERT_EQ(::kill(sim.Pid(), SIGTERM), 0);
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimProgramSnapshot, RejectsADeadLedOutsideTheNumbersAndAnUnwritableSnapshot) {
    simtest::CTempDir dir;
    {
        CCardsimProcess sim({"--tcp", "0", "--dead-led", "3"});
        EXPECT_EQ(sim.Wait(), 2);
    }
    {
        CCardsimProcess sim({"--tcp", "0", "--dead-led", "3,-1"});
        EXPECT_EQ(sim.Wait(), 2);
    }
    {
        CCardsimProcess sim({"--tcp", "0", "--snapshot", dir.File("no/such/dir.png")});
        EXPECT_EQ(sim.Wait(), 1);
        EXPECT_TRUE(sim.WaitForOutput("cannot write")) << sim.Output();
    }
}
