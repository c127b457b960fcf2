// The dravel program itself: console commands start without any display.
#include "tests/platform/temp_config_home.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    int status = -1;
    std::string out;
};

// Runs the program with no display of any kind in its environment.
Result RunProgram(const std::string& args, const std::string& home) {
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME='" +
                                home + "' '" DRAVEL_PROGRAM "' " + args + " 2>&1 </dev/null";
    Result result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buf{};
    while (const std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe)) result.out.append(buf.data(), n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

} // namespace

TEST(DravelProgramTest, SearchRunsHeadlessAndFindsTheSimulatedCard) {
    testsupport::CTempConfigHome home;
    const Result r = RunProgram("search --yes --simulate=COM2@28800", home.Path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("在串口Com2(波特率:28800)"), std::string::npos) << r.out;
}

TEST(DravelProgramTest, WrongUsageExitsWithTwoAndPointsAtHelp) {
    testsupport::CTempConfigHome home;
    const Result r = RunProgram("search --width 64", home.Path());
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("dravel --help"), std::string::npos) << r.out;
    const Result help = RunProgram("--help", home.Path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("dravel force"), std::string::npos);
}
