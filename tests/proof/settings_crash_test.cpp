// Crash-safe settings: a process that writes values in a loop is killed with
// SIGKILL at random moments, hundreds of times; afterwards every value reads
// as either its old or its new text, never a cut one. Two processes writing
// the same values at once leave every value whole too.
//
// The writer reports each write before it starts and after it returned
// through a pipe, so the test knows which value was being written when the
// kill came and can insist that kills did land in the middle of writes.
#include "platform/registry/registry.h"
#include "tests/platform/temp_config_home.h"
#include "tool/settings_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace palvex::reg;

constexpr const char* kKey = "SOFTWARE\\Tavrin\\Sarnow";
constexpr int kTextValues = 4;
// Large enough that writing one takes several system calls' worth of time.
constexpr std::size_t kTextBytes = 96 * 1024;

std::string TextName(int i) {
    return "Text" + std::to_string(i);
}

// The text of value i in generation g, by writer w: a header naming all three
// and a body that depends on them, so any mix or cut shows.
std::string MakeText(int i, int g, int w) {
    std::string s = "value " + std::to_string(i) + " generation " + std::to_string(g) + " writer " +
                    std::to_string(w) + "\n";
    std::mt19937 rng(static_cast<unsigned>(i * 7919 + g * 104729 + w));
    while (s.size() < kTextBytes)
        s += static_cast<char>('a' + rng() % 26);
    return s;
}

// Which (generation, writer) a text is, or (-1, -1) when it is none whole.
std::pair<int, int> Identify(int i, const std::string& text) {
    int vi = -1, g = -1, w = -1;
    if (std::sscanf(text.c_str(), "value %d generation %d writer %d", &vi, &g, &w) != 3 || vi != i)
        return {-1, -1};
    return text == MakeText(i, g, w) ? std::pair{g, w} : std::pair{-1, -1};
}

// Reports from a writer: 'B' before a write, 'E' after it, then the value
// index and the generation.
struct Report {
    char what;
    std::int32_t value;
    std::int32_t generation;
};

// The writer: from `first` on, generation after generation, rewrites every
// text value and the number values through the tool's settings key.
[[noreturn]] void Writer(int reportFd, const std::vector<int>& first, int writer, int generations) {
    CRegKey key;
    if (key.Create(Root::CurrentUser, kKey) != kSuccess) ::_exit(3);
    for (int round = 0; round < generations; ++round) {
        for (int i = 0; i < kTextValues; ++i) {
            const int g = first[static_cast<std::size_t>(i)] + round;
            Report r{'B', i, g};
            (void)!::write(reportFd, &r, sizeof r);
            if (key.SetStringValue(TextName(i), MakeText(i, g, writer)) != kSuccess) ::_exit(4);
            r.what = 'E';
            (void)!::write(reportFd, &r, sizeof r);
        }
        dravel::CSettingsKey settings;
        if (settings.OpenKey(dravel::kProductKey) != 0) ::_exit(5);
        const int g = first[0] + round;
        Report r{'B', -1, g};
        (void)!::write(reportFd, &r, sizeof r);
        settings.WriteInt(dravel::kValueWidth, g);
        settings.WriteInt(dravel::kValueHeight, -g);
        r.what = 'E';
        (void)!::write(reportFd, &r, sizeof r);
    }
    ::_exit(0);
}

std::vector<Report> DrainReports(int fd) {
    std::vector<Report> out;
    Report r;
    while (::read(fd, &r, sizeof r) == static_cast<ssize_t>(sizeof r))
        out.push_back(r);
    return out;
}

class CrashSafeSettings : public ::testing::Test {
  protected:
    std::string Query(const std::string& name) {
        CRegKey key;
        EXPECT_EQ(key.Open(Root::CurrentUser, kKey), kSuccess);
        std::string text;
        EXPECT_EQ(key.QueryStringValue(name, text), kSuccess) << name;
        return text;
    }

    testsupport::CTempConfigHome m_home;
};

} // namespace

TEST_F(CrashSafeSettings, AWriterKilledAtRandomMomentsLeavesEveryValueOldOrNew) {
    const int kills = 300;
    std::mt19937 rng(4242);
    // Generation 0 of everything, written whole before the first kill.
    {
        CRegKey key;
        ASSERT_EQ(key.Create(Root::CurrentUser, kKey), kSuccess);
        for (int i = 0; i < kTextValues; ++i)
            ASSERT_EQ(key.SetStringValue(TextName(i), MakeText(i, 0, 0)), kSuccess);
        dravel::CSettingsKey settings;
        ASSERT_EQ(settings.OpenKey(dravel::kProductKey), 0);
        ASSERT_EQ(settings.WriteInt(dravel::kValueWidth, 0), 0);
        ASSERT_EQ(settings.WriteInt(dravel::kValueHeight, 0), 0);
    }
    std::vector<int> done(kTextValues, 0); // generation each text value holds
    std::pair<int, int> numbers{0, 0};     // Width and Height as they are
    int killedMidWrite = 0;

    for (int k = 0; k < kills; ++k) {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        std::vector<int> first(kTextValues);
        for (int i = 0; i < kTextValues; ++i)
            first[static_cast<std::size_t>(i)] = done[static_cast<std::size_t>(i)] + 1;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            Writer(fds[1], first, 0, 1000000);
        }
        ::close(fds[1]);
        // The random moment counts from the writer's first write, not from
        // the fork: on a loaded machine the child may take longer to start
        // than the whole window, and the kill would land before any write.
        Report started{};
        const bool began = ::read(fds[0], &started, sizeof started) == sizeof started;
        ::usleep(static_cast<useconds_t>(rng() % 6000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
        ASSERT_TRUE(began) << "the writer reported nothing";
        std::vector<Report> reports = DrainReports(fds[0]);
        reports.insert(reports.begin(), started);
        ::close(fds[0]);

        // What was written whole, and what was in flight when the kill came.
        std::map<int, int> inFlight; // value (-1: the numbers) -> generation
        for (const Report& r : reports) {
            if (r.what == 'B') inFlight[r.value] = r.generation;
            if (r.what == 'E') {
                inFlight.erase(r.value);
                if (r.value >= 0)
                    done[static_cast<std::size_t>(r.value)] = r.generation;
                else
                    numbers = {r.generation, -r.generation};
            }
        }
        if (!inFlight.empty()) ++killedMidWrite;

        for (int i = 0; i < kTextValues; ++i) {
            const auto [g, w] = Identify(i, Query(TextName(i)));
            const int old = done[static_cast<std::size_t>(i)];
            const bool isNew = inFlight.count(i) == 1 && g == inFlight[i];
            ASSERT_TRUE(g == old || isNew)
                << "kill " << k << ": " << TextName(i) << " reads as generation " << g
                << " (-1: cut or mixed), old " << old;
            done[static_cast<std::size_t>(i)] = g; // a write may have ended unreported
        }
        // The numbers: Width is written before Height, each whole or not at all.
        dravel::CSettingsKey settings;
        ASSERT_EQ(settings.OpenKey(dravel::kProductKey), 0);
        const std::pair<int, int> now{settings.ReadInt(dravel::kValueWidth, -12345),
                                      settings.ReadInt(dravel::kValueHeight, -12345)};
        bool allowed = now == numbers;
        if (inFlight.count(-1) == 1) {
            const int n = inFlight[-1];
            allowed = allowed || now == std::pair{n, numbers.second} || now == std::pair{n, -n};
        }
        ASSERT_TRUE(allowed) << "kill " << k << ": Width " << now.first << ", Height " << now.second
                             << " after " << numbers.first << ", " << numbers.second;
        numbers = now;
    }
    int leftovers = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_home.CurrentUserPath(kKey)))
        if (e.path().filename().string().starts_with(".regtmp.")) ++leftovers;
    std::printf("%d kills, %d of them while a value was being written; %d temporary files left\n",
                kills, killedMidWrite, leftovers);
    // The kills did land inside writes, so the test saw the moments that matter.
    EXPECT_GE(killedMidWrite, kills / 4);

    // Writers that died left no value that the store lists beyond the real
    // ones (their temporary files are not values).
    CRegKey key;
    ASSERT_EQ(key.Open(Root::CurrentUser, kKey), kSuccess);
    std::vector<std::string> names;
    ASSERT_EQ(key.EnumValues(names), kSuccess);
    std::vector<std::string> want = {"Height", "Width"};
    for (int i = 0; i < kTextValues; ++i)
        want.push_back(TextName(i));
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names, want);
}

TEST_F(CrashSafeSettings, TwoProcessesWritingTheSameValuesAtOnceLeaveEveryValueWhole) {
    {
        CRegKey key;
        ASSERT_EQ(key.Create(Root::CurrentUser, kKey), kSuccess);
    }
    const int generations = 40;
    pid_t writers[2];
    int fds[2][2];
    for (int w = 0; w < 2; ++w) {
        ASSERT_EQ(::pipe2(fds[w], O_CLOEXEC), 0);
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            ::close(fds[w][0]);
            Writer(fds[w][1], std::vector<int>(kTextValues, 1), w + 1, generations);
        }
        ::close(fds[w][1]);
    }
    // While both write, every value read is whole, from one writer or the other.
    int reads = 0;
    bool running = true;
    while (running) {
        for (int i = 0; i < kTextValues; ++i) {
            CRegKey key;
            ASSERT_EQ(key.Open(Root::CurrentUser, kKey), kSuccess);
            std::string text;
            if (key.QueryStringValue(TextName(i), text) != kSuccess) continue; // not written yet
            const auto [g, w] = Identify(i, text);
            ASSERT_GE(g, 1) << TextName(i) << " read cut or mixed while two processes wrote it";
            ASSERT_TRUE(w == 1 || w == 2);
            ++reads;
        }
        running = false;
        for (pid_t p : writers)
            if (::waitpid(p, nullptr, WNOHANG) == 0) running = true;
    }
    for (int w = 0; w < 2; ++w) {
        const std::vector<Report> reports = DrainReports(fds[w][0]);
        ::close(fds[w][0]);
        EXPECT_EQ(reports.size(), static_cast<std::size_t>(2 * generations * (kTextValues + 1)))
            << "writer " << w + 1;
    }
    for (int i = 0; i < kTextValues; ++i) {
        const auto [g, w] = Identify(i, Query(TextName(i)));
        EXPECT_EQ(g, generations) << TextName(i);
        EXPECT_TRUE(w == 1 || w == 2);
    }
    dravel::CSettingsKey settings;
    ASSERT_EQ(settings.OpenKey(dravel::kProductKey), 0);
    EXPECT_EQ(settings.ReadInt(dravel::kValueWidth, -1), generations);
    EXPECT_EQ(settings.ReadInt(dravel::kValueHeight, 1), -generations);
    EXPECT_GT(reads, 0);
}
