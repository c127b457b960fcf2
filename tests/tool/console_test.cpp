#include "tests/platform/temp_config_home.h"
#include "tool/console/console_args.h"
#include "tool/console/console_run.h"
#include "tool/settings_key.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace dravel;

namespace {

std::optional<CommandLine> Parse(std::vector<std::string> args, std::string* why = nullptr) {
    std::string error;
    auto line = ParseCommandLine(args, error);
    if (why) *why = error;
    return line;
}

struct ConsoleRun {
    int status = -1;
    std::string out;
    std::string err;
};

ConsoleRun RunCommand(std::vector<std::string> args, const std::string& input = "") {
    std::string error;
    const auto line = ParseCommandLine(args, error);
    EXPECT_TRUE(line) << error;
    std::istringstream in(input);
    std::ostringstream out, err;
    ConsoleRun run;
    // Someone answers questions only when the test gives input.
    if (line)
        run.status = RunConsoleCommand(*line, ConsoleIo{in, out, err, false, !input.empty()},
                                       CreateLinkControl);
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace

TEST(CommandLineTest, NoArgumentsOrOnlySimulateStartTheDialog) {
    EXPECT_EQ(Parse({})->command, Command::Dialog);
    const auto line = Parse({"--simulate=COM5@14400"});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->command, Command::Dialog);
    EXPECT_TRUE(line->simulate);
    EXPECT_EQ(line->simulation.port, 5);
    EXPECT_EQ(line->simulation.baud, 14400u);
    EXPECT_EQ(Parse({"--simulate"})->simulation.port, 3);
    EXPECT_EQ(Parse({"--simulate"})->simulation.baud, 28800u);
    EXPECT_EQ(Parse({"search", "--help"})->command, Command::Help);
}

TEST(CommandLineTest, ReadsEachCommandsOptionsInBothSpellings) {
    const auto line = Parse({"configure", "--screen", "5", "--width=320", "--height", "32",
                             "--module", "8x4", "--wiring", "left-to-right,row-swap", "--yes"});
    ASSERT_TRUE(line);
    EXPECT_EQ(line->command, Command::Configure);
    EXPECT_EQ(line->screen, 5);
    EXPECT_EQ(line->width, 320);
    EXPECT_EQ(line->height, 32);
    EXPECT_EQ(line->module, 1);
    EXPECT_EQ(line->wiring, 0x82);
    EXPECT_TRUE(line->yes);

    const auto force = Parse({"force", "--port", "2", "--baud", "57600", "--screen", "70"});
    ASSERT_TRUE(force);
    EXPECT_EQ(force->port, 2);
    EXPECT_EQ(force->baud, 57600);
    EXPECT_EQ(force->screenText, "70") << "the forced dialog checks the number itself";
}

TEST(CommandLineTest, RefusesWhatTheDialogCouldNotBeGiven) {
    std::string why;
    const std::vector<std::vector<std::string>> refused = {
        {"frobnicate"},
        {"search", "--port", "2"},
        {"search", "--screen", "32"},
        {"search", "--screen"},
        {"configure", "--width", "100"},
        {"configure", "--height", "136"},
        {"configure", "--module", "8x2"},
        {"configure", "--wiring", "sideways"},
        {"configure", "--wiring", ""},
        {"force", "--port", "9"},
        {"force", "--baud", "19200"},
        {"search", "--yes", "--yes"},
        {"search", "--yes=1"},
        {"--simulate=COM9@9600"},
        {"--simulate=COM3@19200"},
        {"--simulate=COM3"},
        {"--screen", "3"},
    };
    for (const auto& args : refused) {
        EXPECT_FALSE(Parse(args, &why)) << args[0] << (args.size() > 1 ? " " + args[1] : "");
        EXPECT_FALSE(why.empty());
    }
}

TEST(CommandLineTest, WiringNamesAndTheFlagsByteConvertBothWays) {
    EXPECT_EQ(ParseWiring("none"), 0);
    EXPECT_EQ(ParseWiring("left-to-right,data-invert"), 0xA0);
    EXPECT_EQ(ParseWiring("row-swap"), 0x02);
    EXPECT_EQ(WiringNames(0xFE), "left-to-right,blank-invert,data-invert,even-col-reverse,"
                                 "odd-col-reverse,row8-reverse,row-swap");
    EXPECT_EQ(ParseWiring(WiringNames(0x5A)), 0x5A);
    EXPECT_EQ(WiringNames(0x01), "none") << "bit 0 is the module type, not wiring";
}

TEST(ConsoleTest, SearchFindsTheSimulatedCardAndPrintsItsSettings) {
    testsupport::CTempConfigHome home;
    const ConsoleRun run = RunCommand({"search", "--yes", "--simulate=COM3@28800"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out,
              "在串口Com3(波特率:28800) 找到 D型 2.00 版通讯屏控制卡 生产日期:2006年01月01日\n");
    EXPECT_NE(run.err.find("非工程技术人员，请勿运行本程序！"), std::string::npos);

    const ConsoleRun verbose = RunCommand({"search", "--verbose", "--simulate=COM2@28800"});
    EXPECT_EQ(verbose.status, 0) << verbose.out << verbose.err;
    // COM1 is absent in a simulated run: the control's reason follows its
    // probe, naming the missing device file in the simulation's folder.
    const std::string reason = "probe Com1 28800\n  COM1 open failed: no such device (ENOENT): /";
    ASSERT_EQ(verbose.out.rfind(reason, 0), 0u) << verbose.out;
    const std::size_t rest = verbose.out.find('\n', reason.size());
    ASSERT_NE(rest, std::string::npos);
    EXPECT_TRUE(verbose.out.substr(0, rest).ends_with("/absent-COM1 does not exist"))
        << verbose.out;
    EXPECT_EQ(verbose.out.substr(rest + 1),
              "probe Com2 28800\n"
              "在串口Com2(波特率:28800) 找到 D型 2.00 版通讯屏控制卡 生产日期:2006年01月01日\n"
              "width=256 height=64 module=8x8 wiring=none\n");
}

TEST(ConsoleTest, ConfigureWritesTheChangesAndReportsTheDialogsMessage) {
    testsupport::CTempConfigHome home;
    const ConsoleRun run =
        RunCommand({"configure", "--yes", "--simulate=COM3@28800", "--screen", "2", "--width",
                    "512", "--module", "8x4", "--wiring", "data-invert"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("配置成功!\n"), std::string::npos);
    CSettingsKey key;
    key.OpenKey(kProductKey);
    EXPECT_EQ(key.ReadInt(kValueWidth, 0), 512);
    EXPECT_EQ(key.ReadInt(kValueColor, 0), 1);
    EXPECT_EQ(key.ReadInt(kValueNumber, 0), 2);
}

TEST(ConsoleTest, DecliningTheWarningEndsBeforeAnyProbe) {
    testsupport::CTempConfigHome home;
    const ConsoleRun run = RunCommand({"search", "--simulate=COM3@28800"}, "n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    const ConsoleRun accepted = RunCommand({"search", "--simulate=COM3@28800"}, "进入\n");
    EXPECT_EQ(accepted.status, 0);
}

TEST(ConsoleTest, ForceNeedsThePasswordAndThenFollowsTheDialogsChecks) {
    testsupport::CTempConfigHome home;
    const ConsoleRun wrong =
        RunCommand({"force", "--yes", "--simulate=COM2@57600", "--port", "2", "--baud", "57600"},
                   "opensesame\n");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.out, "") << "a wrong password closes silently";

    const ConsoleRun range =
        RunCommand({"force", "--yes", "--simulate=COM2@57600", "--screen", "70"}, "tavrinqk\n");
    EXPECT_EQ(range.status, 1);
    EXPECT_EQ(range.out, "“请填入一个在0和63之间的整数。”\n");

    const ConsoleRun done = RunCommand({"force", "--yes", "--simulate=COM2@57600", "--port", "2",
                                        "--baud", "57600", "--screen", "7"},
                                       "TAVRINQK\n");
    EXPECT_EQ(done.status, 0) << done.out << done.err;
    EXPECT_EQ(done.out, "配置成功!\n");
    CSettingsKey key;
    key.OpenKey(kProductKey);
    EXPECT_EQ(key.ReadInt(kValueVersion, 0), 112);
    EXPECT_EQ(key.ReadInt(kValueCommPort, 0), 2);
}

TEST(ConsoleTest, TheSimulatedCardAnswersToTheScreenNumberTheRunWillUse) {
    testsupport::CTempConfigHome home;
    {
        CSettingsKey key;
        key.OpenKey(kProductKey);
        key.WriteInt(kValueNumber, 9);
    }
    EXPECT_EQ(SimulatedCardNumber(*Parse({"search"})), 9);
    EXPECT_EQ(SimulatedCardNumber(*Parse({"search", "--screen", "4"})), 4);
    EXPECT_EQ(SimulatedCardNumber(*Parse({"force", "--screen", "40"})), 0);
    EXPECT_EQ(StatusLine("\n\n在 [Com1]\n\n上/"), "在 [Com1] 上/");
}

TEST(ConsoleTest, ForceTakesThePasswordAndNumberFromTheCommandLine) {
    testsupport::CTempConfigHome home;
    const ConsoleRun wrong = RunCommand({"force", "--simulate=COM2@57600", "--port", "2", "--baud",
                                         "57600", "--number", "5", "--password", "WRONGPWD"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.out, "");
    const ConsoleRun done = RunCommand({"force", "--simulate=COM2@57600", "--port", "2", "--baud",
                                        "57600", "--number", "5", "--password", "TAVRINQK"});
    EXPECT_EQ(done.status, 0) << done.out << done.err;
    EXPECT_EQ(done.out, "配置成功!\n");
    EXPECT_EQ(done.err.find("输入口令"), std::string::npos)
        << "no prompt when the password is given";
    EXPECT_EQ(Parse({"force", "--number", "5", "--screen", "6"}), std::nullopt);
    const auto leading = Parse({"--simulate", "--yes", "force", "--number", "5"});
    ASSERT_TRUE(leading);
    EXPECT_EQ(leading->command, Command::Force);
    EXPECT_TRUE(leading->simulate && leading->yes);
}

TEST(ConsoleTest, SettingsPrintsTheRememberedValues) {
    testsupport::CTempConfigHome home;
    EXPECT_EQ(RunCommand({"settings"}).out, "");
    ASSERT_EQ(RunCommand({"configure", "--simulate=COM3@28800", "--screen", "2", "--width", "320",
                          "--height", "32"})
                  .status,
              0);
    const ConsoleRun run = RunCommand({"settings"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Number=2\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Width=320\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Height=32\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("CommPort=3\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("BaudRate=28800\n"), std::string::npos) << run.out;
}
