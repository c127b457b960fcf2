// palvex's jobs run whole against cardsim: what arrives at the card, where a
// job stops on a failure or a signal, resuming with --from, the progress on a
// terminal and on a pipe, and the preview beside the card's own screen.
#include "tests/automation/cardsim_process.h"
#include "tests/cli/cli_test_support.h"

#include <gtest/gtest.h>
#include <png.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <thread>
#include <tuple>
#include <utility>

extern char** environ;

namespace {

using automation_test::CardsimProcess;

struct JobRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Everything until the end of the stream (the program's exit closes it).
std::string ReadToEnd(int fd) {
    std::string text;
    char buf[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    if (fd >= 0) close(fd);
    return text;
}

// palvex started with `args`, its output on a pipe, its standard error on a
// pipe or on a pseudo-terminal as a user at a terminal sees it.
class CPalvexJob {
  public:
    explicit CPalvexJob(std::vector<std::string> args, bool errOnTerminal = false) {
        unsetenv("PALVEX_TRACE");
        int out[2] = {-1, -1}, err[2] = {-1, -1};
        if (errOnTerminal && (err[0] = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) >= 0 &&
            grantpt(err[0]) == 0 && unlockpt(err[0]) == 0)
            err[1] = open(ptsname(err[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (pipe2(out, O_CLOEXEC) != 0 || (!errOnTerminal && pipe2(err, O_CLOEXEC) != 0)) return;
        args.insert(args.begin(), PALVEX_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }

    void Signal(int signal) const { kill(m_pid, signal); }

    // Standard error, then the output (a line or two), then the status.
    JobRun Wait() {
        JobRun r;
        r.err = ReadToEnd(std::exchange(m_err, -1));
        r.out = ReadToEnd(std::exchange(m_out, -1));
        int status = 0;
        if (m_pid > 0 && waitpid(m_pid, &status, 0) == m_pid && WIFEXITED(status))
            r.status = WEXITSTATUS(status);
        return r;
    }

  private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

JobRun RunJob(const std::vector<std::string>& args) {
    return CPalvexJob(args).Wait();
}

// The numbers the pattern's first group matched in the text, in order.
std::vector<int> Numbers(const std::string& text, const std::string& pattern) {
    std::vector<int> n;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it)
        n.push_back(std::stoi((*it)[1].str()));
    return n;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> r;
    for (int k = from; k < to; ++k)
        r.push_back(k);
    return r;
}

const std::string kBlockLine = "font library block ([0-9]+) \\(bytes ([0-9]+)";
const std::string kStepLine = "picture page 2 step ([0-9]+)";

// A card of 256 x 80 LEDs (two rows per step) on a pty mapped to COM7.
class PalvexJobs : public ::testing::Test {
  protected:
    std::unique_ptr<CardsimProcess> StartCard(std::vector<std::string> options) {
        const std::string com = dir.Path() + "/com7";
        setenv("PALVEX_COM7", com.c_str(), 1);
        options.insert(options.end(), {"--pty", com, "--baud", "57600", "--width", "256",
                                       "--height", "80", "--verbose"});
        auto card = std::make_unique<CardsimProcess>(CARDSIM_PROGRAM, options);
        EXPECT_TRUE(card->Started()) << card->Output();
        return card;
    }
    // A library of `blocks` blocks, the last one cut short.
    std::string FontFile(int blocks) {
        cli_test::Bytes lib(static_cast<std::size_t>(blocks) * 1024 - 100);
        for (std::size_t i = 0; i < lib.size(); ++i)
            lib[i] = static_cast<std::uint8_t>(i * 13 + i / 1024);
        return dir.Write("lib.bin", lib);
    }
    std::string Picture() {
        const auto png = cli_test::MakePng(256, 80, PNG_COLOR_TYPE_RGB, 3,
                                           [](unsigned x, unsigned y, unsigned c) {
                                               return ((x / 8 + y / 3 + 5 * c) % 3) ? 0 : 255;
                                           });
        return dir.Write("picture.png", cli_test::EncodePng(png));
    }
    std::vector<std::string> Link(std::vector<std::string> job) {
        std::vector<std::string> words = {"--com", "7",       "--baud", "57600",    "--card",
                                          "1",     "--width", "256",    "--height", "80"};
        words.insert(words.end(), job.begin(), job.end());
        return words;
    }

    cli_test::TempDir dir;
};

TEST_F(PalvexJobs, SendsEveryBlockToItsAddressAndEveryStepInOrderAndResumesAtFrom) {
    const auto card = StartCard({});
    const std::string lib = FontFile(10);
    JobRun r = RunJob(Link({"send-font", lib}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "send-font: blocks 0 to 9 of 10 sent\n");
    // Not a terminal: one line per tenth.
    EXPECT_EQ(Numbers(r.err, "palvex: send-font +([0-9]+)% ([0-9]+)/10 blocks, [0-9]+ B/s"),
              (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    ASSERT_TRUE(card->WaitFor(kBlockLine, 10)) << card->Output();
    EXPECT_EQ(Numbers(card->Output(), kBlockLine), Range(0, 10));
    EXPECT_EQ(Numbers(card->Output(), "font library block [0-9]+ \\(bytes ([0-9]+)"),
              (std::vector<int>{0, 1024, 2048, 3072, 4096, 5120, 6144, 7168, 8192, 9216}));

    r = RunJob(Link({"--quiet", "send-picture", Picture(), "--page", "2"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "send-picture page 2: steps 0 to 63 of 64 sent\n");
    EXPECT_EQ(r.err, "");
    r = RunJob(Link({"--quiet", "send-picture", Picture(), "--page", "2", "--from", "60"}));
    EXPECT_EQ(r.out, "send-picture page 2: steps 60 to 63 of 64 sent\n");
    ASSERT_TRUE(card->WaitFor(kStepLine, 68)) << card->Output();
    std::vector<int> steps = Range(0, 64);
    for (int s : Range(60, 64))
        steps.push_back(s);
    EXPECT_EQ(Numbers(card->Output(), kStepLine), steps);
}

TEST_F(PalvexJobs, NamesTheBlockOrStepWhoseExchangeFailed) {
    // The card closes each connection after three replies.
    CardsimProcess card(CARDSIM_PROGRAM, {"--tcp", "0", "--close-after", "3"});
    ASSERT_NE(card.Port(), 0u);
    const std::vector<std::string> link = {"--net",    "127.0.0.1:" + std::to_string(card.Port()),
                                           "--wait",   "100",
                                           "--card",   "1",
                                           "--width",  "256",
                                           "--height", "64"};
    const std::pair<std::vector<std::string>, std::string> jobs[] = {
        {{"send-font", FontFile(8)},
         "palvex: send-font: block 3 of 8 failed: SendHZLib returned false"},
        {{"send-picture", Picture(), "--page", "0", "--from", "10"},
         "palvex: send-picture page 0: step 13 of 64 failed: SendPicture returned false"},
    };
    for (const auto& [job, message] : jobs) {
        std::vector<std::string> args = link;
        args.insert(args.end(), job.begin(), job.end());
        const JobRun r = RunJob(args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(PalvexJobs, StopsOnASignalAfterTheExchangeInProgressAndTheRestFollowsWithFrom) {
    for (const auto& [signal, status, name] :
         {std::tuple{SIGINT, 130, "SIGINT"}, std::tuple{SIGTERM, 143, "SIGTERM"}}) {
        // Every reply 20 ms late, so the job is still going when the signal comes.
        const auto card = StartCard({"--delay", "20"});
        const std::string lib = FontFile(20);
        CPalvexJob job(Link({"send-font", lib}), /*errOnTerminal=*/true);
        ASSERT_TRUE(card->WaitFor(kBlockLine, 3)) << card->Output();
        job.Signal(signal);
        JobRun r = job.Wait();
        EXPECT_EQ(r.status, status) << r.err;
        // On a terminal: one line redrawn in place, ended before the message.
        EXPECT_NE(r.err.find("\rpalvex: send-font   0% 0/20 blocks, -- B/s, 0:04 left\x1b[K"),
                  std::string::npos)
            << r.err;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(r.err, m,
                                      std::regex(std::string("\x1b\\[K\r\npalvex: send-font: "
                                                             "stopped by ") +
                                                 name +
                                                 " after block ([0-9]+) of 20; resume "
                                                 "with --from ([0-9]+)\r\n")))
            << r.err;
        const int from = std::stoi(m[2].str());
        EXPECT_EQ(std::stoi(m[1].str()), from - 1);

        // The port is free again, and the blocks left follow: each arrives once.
        r = RunJob(Link({"--quiet", "send-font", lib, "--from", std::to_string(from)}));
        EXPECT_EQ(r.status, 0) << r.err;
        ASSERT_TRUE(card->WaitFor(kBlockLine, 20)) << card->Output();
        EXPECT_EQ(Numbers(card->Output(), kBlockLine), Range(0, 20));
    }
}

// The image's pixels as RGB, empty when it cannot be read.
cli_test::Bytes RgbPixels(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return {};
    image.format = PNG_FORMAT_RGB;
    cli_test::Bytes pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) return {};
    return pixels;
}

TEST_F(PalvexJobs, PreviewsThePictureTheCardThenShows) {
    const std::string screen = dir.Path() + "/screen.png";
    const std::string preview = dir.Path() + "/preview.png";
    const auto card = StartCard({"--snapshot", screen});
    const JobRun p =
        RunJob({"preview", Picture(), "--width", "256", "--height", "80", "-o", preview});
    ASSERT_EQ(p.status, 0) << p.err;
    const cli_test::Bytes expected = RgbPixels(preview);
    ASSERT_EQ(expected.size(), 256u * 8 * 80 * 8 * 3);
    ASSERT_NE(RgbPixels(screen), expected); // the card starts dark

    const JobRun r = RunJob(Link({"--quiet", "send-picture", Picture(), "--page", "2"}));
    ASSERT_EQ(r.status, 0) << r.err;
    // The card rewrites its snapshot once the line has been quiet for a moment.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (RgbPixels(screen) != expected && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(RgbPixels(screen) == expected);
}

} // namespace
