// The command line of palvex: checking the whole line against the methods
// read from the control's type information, argument forms, and the output
// of calls run in-process through the control's dispatch interface.
#include "cli/cli_args.h"
#include "cli/cli_run.h"
#include "control/automation/com_support.h"
#include "control/automation/control_object.h"
#include "control/link/palvex_ctrl.h"
#include "tests/cli/cli_test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace palvex;
using namespace palvex::cli;
using namespace cli_test;

namespace {

// ---------------------------------------------------------------------------

TEST(CommandLineParse, SplitsCallsAtLoneColons) {
    Parsed p = Parse("SetSendFlag 0 : SetLedProperty 1 256 64 : QKSetProperty 20004081 : "
                     "GetSendString");
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.line.calls.size(), 4u);
    EXPECT_EQ(p.line.calls[0].id, 40);
    EXPECT_EQ(p.line.calls[1].id, 4);
    EXPECT_EQ(p.line.calls[2].id, 38);
    EXPECT_EQ(p.line.calls[3].id, 39);
    EXPECT_FALSE(p.line.trace);
}

TEST(CommandLineParse, MatchesMethodNamesWhateverTheCase) {
    Parsed p = Parse("getversion : QKCLOSE");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.line.calls[0].id, 31);
    EXPECT_EQ(p.line.calls[1].id, 9);
}

TEST(CommandLineParse, RefusesAnUnknownMethodAnywhereOnTheLine) {
    Parsed p = Parse("SetSendFlag 0 : SetLedPropertyX 1 256 64 : GetSendString");
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("unknown method \"SetLedPropertyX\""), std::string::npos) << p.error;
}

TEST(CommandLineParse, RefusesWrongArgumentCountsNamingTheParameters) {
    Parsed p = Parse("SetSendFlag 0 : SetLedProperty 1 256");
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("SetLedProperty takes 3 arguments (LedNum LedWidth LedHeight), 2 given"),
              std::string::npos)
        << p.error;

    // Out-parameters take no word.
    p = Parse("GetSendString 16");
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("GetSendString takes 0 arguments"), std::string::npos) << p.error;
    EXPECT_FALSE(Parse("QKClose now").ok);
    EXPECT_FALSE(Parse("SetSendFlag").ok);
}

TEST(CommandLineParse, RefusesEmptyCallsAndMissingMethods) {
    EXPECT_FALSE(Parse(": GetVersion").ok);
    EXPECT_FALSE(Parse("GetVersion :").ok);
    EXPECT_FALSE(Parse("GetVersion : : GetVersion").ok);
    EXPECT_FALSE(Parse("").ok);
    EXPECT_FALSE(Parse("--trace").ok);
}

TEST(CommandLineParse, ReadsOptionsBeforeTheFirstMethodOnly) {
    Parsed p = Parse("--trace GetVersion");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.line.trace);
    EXPECT_TRUE(Parse("--help").line.help);
    EXPECT_TRUE(Parse("--trace --help anything").line.help);

    p = Parse("--verbose GetVersion");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.line.verbose);
    p = Parse("--loud GetVersion");
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find("--loud"), std::string::npos);
    // After the method, a word is an argument, and this one is not a number.
    EXPECT_FALSE(Parse("SetSendFlag --trace").ok);
}

TEST(CommandLineParse, PassesSixteenBitValuesAboveTheSignedRangeAsTheirPattern) {
    Parsed p = Parse("ComInitial 3 57600 800");
    ASSERT_TRUE(p.ok) << p.error;
    VARIANT baud = Bound(p, 1);
    EXPECT_EQ(baud.vt, VT_I2);
    EXPECT_EQ(static_cast<std::uint16_t>(baud.iVal), 57600);

    p = Parse("ComInitial 65535 -32768 +7");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(Bound(p, 0).iVal, -1);
    EXPECT_EQ(Bound(p, 1).iVal, -32768);
    EXPECT_EQ(Bound(p, 2).iVal, 7);
}

TEST(CommandLineParse, RefusesSixteenBitValuesOutOfRangeOrMalformed) {
    for (const char* bad : {"-32769", "65536", "100000", "12a", "0x10", "+-1", "--1", "1.5", "+"}) {
        Parsed p = Parse(std::string("SetCommTimeOut ") + bad);
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_NE(p.error.find("SetCommTimeOut Seconds"), std::string::npos) << p.error;
        EXPECT_NE(p.error.find(bad), std::string::npos) << p.error;
    }
}

TEST(CommandLineParse, TakesRemoteIPAsDottedAddressOrInteger) {
    Parsed p = Parse("NetInitial 0 192.168.1.20 7000 100");
    ASSERT_TRUE(p.ok) << p.error;
    VARIANT ip = Bound(p, 1);
    EXPECT_EQ(ip.vt, VT_I4);
    EXPECT_EQ(static_cast<std::uint32_t>(ip.lVal), 0xC0A80114u);
    EXPECT_EQ(Bound(p, 2).iVal, 7000);

    p = Parse("NetInitial 0 3232235796 7000 100");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(static_cast<std::uint32_t>(Bound(p, 1).lVal), 0xC0A80114u);
    p = Parse("NetInitial 0 127.0.0.1 7000 100");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(Bound(p, 1).lVal, 0x7F000001);
    p = Parse("NetInitial 0 -1 7000 100");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(Bound(p, 1).lVal, -1);

    for (const char* bad : {"1.2.3", "1.2.3.256", "1..2.3", "1.2.3.4.", ".1.2.3", "1.2.3.4.5",
                            "a.b.c.d", "0001.2.3.4", "4294967296", "host"}) {
        EXPECT_FALSE(Parse(std::string("NetInitial 0 ") + bad + " 7000 100").ok) << bad;
    }
}

TEST(CommandLineParse, PassesTextAsTheAddressOfAZeroTerminatedCopy) {
    Parsed p = Parse("QKSetProperty 20004081");
    ASSERT_TRUE(p.ok) << p.error;
    VARIANT v = Bound(p, 0);
    EXPECT_EQ(v.vt, VT_ADDR);
    const char* text =
        reinterpret_cast<const char*>(static_cast<LONG_PTR>(VT_ADDR == VT_I8 ? v.llVal : v.lVal));
    EXPECT_STREQ(text, "20004081");
}

TEST(CommandLineParse, SuppliesStorageForOutParameters) {
    Parsed p = Parse("GetSendString");
    ASSERT_TRUE(p.ok) << p.error;
    VARIANT count = Bound(p, 0);
    VARIANT buffer = Bound(p, 1);
    EXPECT_EQ(count.vt, VT_I2 | VT_BYREF);
    EXPECT_EQ(buffer.vt, VT_I2 | VT_BYREF);
    EXPECT_EQ(p.line.calls[0].slots[1].shorts.size(), 1600u);
    EXPECT_EQ(buffer.piVal, p.line.calls[0].slots[1].shorts.data());

    p = Parse("QKGetProperty");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(Bound(p, 0).vt, VT_BSTR | VT_BYREF);
}

TEST(CommandLineParse, HasAFormThatPassesTheTypeOfEveryParameterOfEveryMethod) {
    ASSERT_FALSE(ControlMethods().Empty());
    for (const MethodInfo& m : ControlMethods().All()) {
        std::string why;
        EXPECT_TRUE(Callable(m, why)) << why;
        for (const MethodParam& param : m.params) {
            const ParamForm form = FormOf(m, param);
            ASSERT_NE(form.kind, nullptr) << m.name << " " << param.name;
            EXPECT_TRUE(form.kind->Passes(param.vt)) << m.name << " " << param.name;
        }
    }
}

TEST(CommandLineParse, ReadsTheOptionsWithoutAnyMethodTable) {
    const std::vector<std::string_view> words = {"--verbose", "--raw-text", "Anything", "x"};
    CommandLine line;
    std::size_t first = 0;
    std::string error;
    ASSERT_TRUE(ParseOptions(words, line, first, error)) << error;
    EXPECT_TRUE(line.verbose);
    EXPECT_TRUE(line.rawText);
    EXPECT_FALSE(line.trace);
    EXPECT_EQ(first, 2u);

    const std::vector<std::string_view> noMethod = {"--trace"};
    EXPECT_FALSE(ParseOptions(noMethod, line, first, error));
    EXPECT_EQ(error, "no method given");
    const std::vector<std::string_view> badOption = {"--loud", "GetVersion"};
    EXPECT_FALSE(ParseOptions(badOption, line, first, error));
    EXPECT_NE(error.find("unknown option \"--loud\""), std::string::npos) << error;
    const std::vector<std::string_view> help = {"--trace", "--help", "Anything"};
    ASSERT_TRUE(ParseOptions(help, line, first, error));
    EXPECT_TRUE(line.help);
}

TEST(CommandLineHelp, ListsEveryMethodWithItsArguments) {
    const std::string help = HelpText(&ControlMethods());
    for (const MethodInfo& m : ControlMethods().All())
        EXPECT_TRUE(std::regex_search(
            help, std::regex("\n +" + std::to_string(m.id) + "  " + m.name + " ")))
            << m.name;
    EXPECT_TRUE(std::regex_search(help, std::regex("SetLedProperty +LedNum LedWidth LedHeight "
                                                   "-> true\\|false\n")))
        << help;
    EXPECT_NE(help.find("lpCount lpRetBuff:hex"), std::string::npos) << help;
    EXPECT_NE(help.find("\"bStr\""), std::string::npos) << help;
    // Buffer parameters: what each takes and what each prints, per method.
    for (const char* line : {"SendPicture +ProgNum Step lpBuff -> true\\|false\n",
                             "SendProgList +TotalProgNum lpProgList -> true\\|false lpProgList\n",
                             "SetOrderList +count lptrList -> true\\|false\n",
                             "ShowString +bank xpos ypos color lpstr -> true\\|false\n",
                             "GetTime +-> true\\|false lpBuff\\[6\\]\n",
                             "GetAllResult +Retry -> true\\|false lpPara\\[13\\]\n",
                             "GetTestResult +color column -> true\\|false Resultx\\[LedHeight\\]\n",
                             "GetPowerState +-> true\\|false Resultx\\[128\\]\n"})
        EXPECT_TRUE(std::regex_search(help, std::regex(line))) << line;
    EXPECT_EQ(help.find("not callable"), std::string::npos);
    EXPECT_NE(help.find("lpBuff (SendPicture): FILE"), std::string::npos) << help;
    EXPECT_NE(help.find("lpProgList (SendProgList): HEX16"), std::string::npos) << help;
    EXPECT_NE(help.find("lptrList (SetOrderList): N[,N]"), std::string::npos) << help;
    EXPECT_NE(help.find("--raw-text"), std::string::npos) << help;
    EXPECT_NE(help.find("RemoteIP: a.b.c.d | N"), std::string::npos) << help;
    EXPECT_NE(help.find(" : "), std::string::npos);
}

// ---------------------------------------------------------------------------

TEST(CommandLineRun, PrintsResultsAndTheCapturedFrameAsHex) {
    CPalvexCtrl ctrl;
    int status = -1;
    const auto lines = RunLines(
        ctrl, "SetSendFlag 0 : SetLedProperty 1 256 64 : QKSetProperty 20004081 : GetSendString",
        &status);
    const std::vector<std::string> expected = {
        "SetSendFlag -", "SetLedProperty true", "QKSetProperty true",
        "GetSendString true 16 1B24514B303157000543200040810790"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(status, 0);
}

TEST(CommandLineRun, PrintsShortResultsAndQuotedStrings) {
    CPalvexCtrl ctrl;
    int status = -1;
    const auto lines =
        RunLines(ctrl,
                 "GetVersion : SetSendFlag 0 : SetLedProperty 0 256 16 : QKGetProperty : "
                 "GetVersion : GetSendString",
                 &status);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "GetVersion -1");
    EXPECT_EQ(lines[3], "QKGetProperty true \"\"");
    EXPECT_EQ(lines[4], "GetVersion 0");
    EXPECT_EQ(lines[5].substr(0, 36), "GetSendString true 12 1B24514B303057");
}

TEST(CommandLineRun, PrintsNoOutValuesAfterFalse) {
    CPalvexCtrl ctrl;
    int status = -1;
    // No screen properties yet: nothing to hand back.
    const auto lines =
        RunLines(ctrl, "GetSendString : QKGetProperty : SetLedProperty 32 256 64", &status);
    const std::vector<std::string> expected = {"GetSendString false", "QKGetProperty false",
                                               "SetLedProperty false"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(status, 1);
}

TEST(CommandLineRun, PrintsADashForAnEmptyFrame) {
    CPalvexCtrl ctrl;
    int status = -1;
    const auto lines = RunLines(ctrl, "SetLedProperty 1 256 64 : GetSendString", &status);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "GetSendString true 0 -");
}

TEST(CommandLineRun, ReturnsStatusOneWhenAnyCallReturnedFalse) {
    CPalvexCtrl ctrl;
    Parsed p = Parse("SetLedProperty 40 256 64 : SetSendFlag 0 : SetLedProperty 1 256 64");
    ASSERT_TRUE(p.ok) << p.error;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    palvex::ComPtr<IDispatch> control;
    ASSERT_EQ(palvex::CreateControlObjectOver(ctrl, IID_IDispatch, control.PutVoid()), S_OK);
    EXPECT_EQ(RunCalls(*control.Get(), p.line.calls, out, err), 1);
    std::rewind(out);
    char buf[256] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, out);
    EXPECT_EQ(std::string(buf, n), "SetLedProperty false\nSetSendFlag -\nSetLedProperty true\n");
    std::fclose(out);
    std::fclose(err);
}

} // namespace
