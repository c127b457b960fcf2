// The cardsim program's snapshot file: written at start, rewritten after a
// frame that changes the screen, and again on SIGUSR1.
#include "png_reader.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

using simtest::CCardsimProcess;

namespace {

// Reads the file until `check` accepts the image, for a short while.
template <typename Check> bool FileBecomes(const std::string& path, Check check) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(CCardsimProcess::kProcessWaitMs);
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
    CCardsimProcess sim;
    ASSERT_TRUE(sim.Spawn(
        CARDSIM_PATH,
        {"--tcp", "0", "--width", "16", "--height", "8", "--snapshot", png, "--verbose"}, true));
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
    const struct {
        std::vector<std::string> args;
        int status;
    } runs[] = {{{"--tcp", "0", "--dead-led", "3"}, 2},
                {{"--tcp", "0", "--dead-led", "3,-1"}, 2},
                {{"--tcp", "0", "--snapshot", dir.File("no/such/dir.png")}, 1}};
    for (const auto& run : runs) {
        SCOPED_TRACE(testing::PrintToString(run.args));
        CCardsimProcess sim;
        ASSERT_TRUE(sim.Spawn(CARDSIM_PATH, run.args, true));
        EXPECT_EQ(sim.Wait(), run.status);
        if (run.status == 1) {
            EXPECT_TRUE(sim.WaitForOutput("cannot write")) << sim.Output();
        }
    }
}
