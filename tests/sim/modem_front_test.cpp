// The modem in front of the simulated card as a state machine, on a clock the
// test moves by hand: what it echoes and answers, when the dial's answer and
// the escape's OK fall due, and what it hands on to the card.
#include "sim/modem_front.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

using cardsim::CModemFront;
using cardsim::ModemConfig;
using cardsim::ModemLineEnd;
using cardsim::ModemState;
using namespace std::chrono_literals;

namespace {

ModemConfig Config(void (*change)(ModemConfig&) = nullptr) {
    ModemConfig c;
    c.enabled = true;
    c.dialDelayMs = 300;
    c.guardMs = 200;
    if (change != nullptr) change(c);
    return c;
}

// One step of a conversation: bytes from the line, the clock moving on or the
// port closed, with what the modem sends back and, when given, the state it
// must be in afterwards.
struct Step {
    enum Kind { Line, Clock, PortClosed } kind;
    std::string text;
    std::chrono::milliseconds wait{0};
    std::string reply;
    std::optional<ModemState> state;
};

Step Say(std::string text, std::string reply, std::optional<ModemState> state = {}) {
    return {Step::Line, std::move(text), 0ms, std::move(reply), state};
}
Step Wait(std::chrono::milliseconds d, std::string reply = "",
          std::optional<ModemState> state = {}) {
    return {Step::Clock, "", d, std::move(reply), state};
}
Step ClosePort(std::optional<ModemState> state = {}) {
    return {Step::PortClosed, "", 0ms, "", state};
}

// One modem and the clock the test drives it with; collects what it hands to
// the card and what it logs.
struct Modem {
    explicit Modem(const ModemConfig& c = Config()) : front(c) {}

    // What the modem sends back for `text` arriving now.
    std::string Send(std::string_view text) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
        return Take(front.FromLine({p, text.size()}, now));
    }
    // What the modem sends when the clock has moved on by `d`.
    std::string Advance(std::chrono::milliseconds d) {
        now += d;
        return Take(front.Tick(now));
    }
    std::string Do(const Step& s) {
        if (s.kind == Step::Line) return Send(s.text);
        if (s.kind == Step::Clock) return Advance(s.wait);
        return Take(front.DtrDropped(now));
    }
    void Connect() {
        Send("ATD1\r");
        Advance(300ms);
        ASSERT_EQ(front.State(), ModemState::Online);
    }
    // Connects, lets the guard time pass, and sends an escape.
    void Escape() {
        Connect();
        Advance(200ms);
        Send("+++");
        ASSERT_EQ(Advance(200ms), "\r\nOK\r\n");
        ASSERT_EQ(front.State(), ModemState::OnlineCommand);
        card.clear();
    }

    std::string Take(const cardsim::ModemOutput& out) {
        card.append(out.toCard.begin(), out.toCard.end());
        events.insert(events.end(), out.events.begin(), out.events.end());
        return std::string(out.toLine.begin(), out.toLine.end());
    }

    CModemFront front;
    CModemFront::TimePoint now{100s};
    std::string card;                // bytes handed on to the card
    std::vector<std::string> events; // what the modem logged
};

enum class Start { Idle, InCall, AfterEscape };

// A conversation with a fresh modem, and where it must have left the modem.
struct Talk {
    const char* name;
    Start start = Start::Idle;
    ModemConfig config = Config();
    std::vector<Step> steps{};
    ModemState state = ModemState::Command;
    std::string card{}; // all the modem handed on to the card
    std::optional<bool> echo{};
    std::optional<int> guardMs{};
};

void PrintTo(const Talk& t, std::ostream* out) {
    *out << t.name;
}

std::string Describe(const Step& s) {
    if (s.kind == Step::Line) return "from the line " + testing::PrintToString(s.text);
    if (s.kind == Step::Clock) return "after " + std::to_string(s.wait.count()) + " ms";
    return "port closed";
}

class ModemTalk : public testing::TestWithParam<Talk> {};

} // namespace

TEST_P(ModemTalk, AnswersEveryStepInTurn) {
    const Talk& t = GetParam();
    Modem m(t.config);
    if (t.start == Start::InCall) m.Connect();
    if (t.start == Start::AfterEscape) m.Escape();
    for (std::size_t i = 0; i < t.steps.size(); ++i) {
        const Step& s = t.steps[i];
        SCOPED_TRACE("step " + std::to_string(i + 1) + ", " + Describe(s));
        EXPECT_EQ(m.Do(s), s.reply);
        if (s.state) {
            EXPECT_EQ(m.front.State(), *s.state);
        }
    }
    EXPECT_EQ(m.front.State(), t.state);
    EXPECT_EQ(m.card, t.card);
    if (t.echo) {
        EXPECT_EQ(m.front.Echo(), *t.echo);
    }
    if (t.guardMs) {
        EXPECT_EQ(m.front.GuardMs(), *t.guardMs);
    }
}

namespace {

std::string RowName(const testing::TestParamInfo<Talk>& info) {
    return info.param.name;
}

const std::string kLongestLine = "AT" + std::string(128, 'L') + "\r";
const std::string kLineTooLong = "AT" + std::string(129, 'L') + "\r";

const Talk kCommands[] = {
    {.name = "EchoTheFactoryResetAndAnswerOkInTheSameBurst",
     .steps = {Say("AT&F0\r", "AT&F0\r\r\nOK\r\n")}},
    {.name = "AnswerOkAloneOnceEchoIsSwitchedOff",
     .steps = {Say("ATE0\r", "ATE0\r\r\nOK\r\n"), // echoed before it takes effect
               Say("AT\r", "\r\nOK\r\n"), Say("ATE1\r", "\r\nOK\r\n"),
               Say("AT\r", "AT\r\r\nOK\r\n")}},
    {.name = "AcceptTheUsualSettingsInEitherCase",
     .steps = {Say("ATL1M0X4B0&C1&D2&K3&S0&Y0T P\r", "ATL1M0X4B0&C1&D2&K3&S0&Y0T P\r\r\nOK\r\n"),
               Say("at&f0e1q0v1\r", "at&f0e1q0v1\r\r\nOK\r\n")}},
    {.name = "CarryOutTheCommandsBeforeAnErrorInTheSameLine",
     .steps = {Say("ATE0J\r", "ATE0J\r\r\nERROR\r\n")},
     .echo = false},
    {.name = "IgnoreTextThatIsNotACommandLine",
     .steps = {Say("hello\r\n", "hello\r\n"), Say("xxAAT\r\n", "xxAAT\r\r\nOK\r\n\n")}},
    {.name = "AssembleACommandThatArrivesInPieces",
     .steps = {Say("A", "A"), Say("T&", "T&"), Say("F0\r", "F0\r\r\nOK\r\n")}},
    {.name = "LetBackspaceTakeBackTheLastCharacter", // X9 would be refused
     .steps = {Say("ATX9\b\r", "ATX9\b\r\r\nOK\r\n")}},
    {.name = "RefuseALineLongerThanTheirBuffer",
     .steps = {Say(kLongestLine, kLongestLine + "\r\nOK\r\n"),
               Say(kLineTooLong, kLineTooLong + "\r\nERROR\r\n")}},
    {.name = "SetAndReportRegisters",
     .steps = {Say("ATS7=45\r", "ATS7=45\r\r\nOK\r\n"),
               Say("ATS7?\r", "ATS7?\r\r\n045\r\n\r\nOK\r\n"),
               Say("ATS12?\r", "ATS12?\r\r\n010\r\n\r\nOK\r\n"), // 200 ms in 20 ms units
               Say("ATS12=5\r", "ATS12=5\r\r\nOK\r\n")},
     .guardMs = 100},
    {.name = "IdentifyThemselvesBeforeOk",
     .steps = {Say("ATI\r", "ATI\r\r\nCARDSIM\r\n\r\nOK\r\n")}},
    {.name = "SendNoResultCodesWhenQuiet",
     .steps = {Say("ATQ1\r", "ATQ1\r"), Say("ATJ\r", "ATJ\r"),
               Say("ATS7?\r", "ATS7?\r\r\n050\r\n"), // information still comes
               Say("ATQ0\r", "ATQ0\r\r\nOK\r\n")}},
    {.name = "SendDigitCodesWhenNotVerbose",
     .steps = {Say("ATV0\r", "ATV0\r0\r"), Say("ATJ\r", "ATJ\r4\r"), Say("ATD1\r", "ATD1\r"),
               Wait(300ms, "1\r")},
     .state = ModemState::Online},
};
INSTANTIATE_TEST_SUITE_P(ModemCommands, ModemTalk, testing::ValuesIn(kCommands), RowName);

const Talk kDials[] = {
    {.name = "StaysOfflineAfterABusyAnswer",
     .config = Config([](ModemConfig& c) { c.dialAnswer = "BUSY"; }),
     .steps = {Say("ATD1\r", "ATD1\r"), Wait(300ms, "\r\nBUSY\r\n", ModemState::Command),
               Say("AT\r", "AT\r\r\nOK\r\n")}},
    {.name = "AnswersOkAfterTheDelayWhenTheNumberEndsInSemicolon",
     .steps = {Say("ATD1;\r", "ATD1;\r"), Wait(300ms, "\r\nOK\r\n")}},
    {.name = "SendsOnlyLineEndsForAnEmptyAnswer",
     .config = Config([](ModemConfig& c) { c.dialAnswer = ""; }),
     .steps = {Say("ATD1\r", "ATD1\r"), Wait(300ms, "\r\n\r\n")}},
};
INSTANTIATE_TEST_SUITE_P(ModemDial, ModemTalk, testing::ValuesIn(kDials), RowName);

const std::string kFrame("\x1B$QK01W\x00\x01Z\xC8\x8E", 12);

const Talk kOnline[] = {
    {.name = "PassesEveryByteToTheCardWithoutEchoOrAnswer",
     .start = Start::InCall,
     .steps = {Say(kFrame, ""), Say("AT\r", "")},
     .state = ModemState::Online,
     .card = kFrame + "AT\r"},
};
INSTANTIATE_TEST_SUITE_P(ModemOnline, ModemTalk, testing::ValuesIn(kOnline), RowName);

const Talk kEscapes[] = {
    {.name = "NeedsTheGuardTimeOfSilenceBefore",
     .start = Start::InCall,
     .steps = {Wait(500ms), Say("x", ""), Wait(199ms), Say("+++", ""), Wait(1s)},
     .state = ModemState::Online,
     .card = "x+++"},
    {.name = "NeedsTheGuardTimeOfSilenceAfter",
     .start = Start::InCall,
     .steps = {Wait(200ms), Say("+++", ""), Wait(199ms), Say("x", ""), Wait(1s)},
     .state = ModemState::Online,
     .card = "+++x"},
    {.name = "IsNotFourEscapeCharacters",
     .start = Start::InCall,
     .steps = {Wait(200ms), Say("++++", ""), Wait(1s)},
     .state = ModemState::Online,
     .card = "++++"},
    {.name = "AcceptsCharactersSpreadWithinTheGuardTime",
     .start = Start::InCall,
     .steps = {Wait(200ms), Say("+", ""), Wait(150ms), Say("+", ""), Wait(150ms), Say("+", ""),
               Wait(200ms, "\r\nOK\r\n")},
     .state = ModemState::OnlineCommand,
     .card = "+++"},
    {.name = "RefusesCharactersFurtherApartThanTheGuardTime",
     .start = Start::InCall,
     .steps = {Wait(250ms), Say("+", ""), Wait(250ms), Say("+", ""), Wait(250ms), Say("+", ""),
               Wait(1s)},
     .state = ModemState::Online,
     .card = "+++"},
    {.name = "FollowsTheGuardTimeAndCharacterInTheRegisters",
     .steps = {Say("ATS12=5S2=42\r", "ATS12=5S2=42\r\r\nOK\r\n"), // 100 ms, '*'
               Say("ATD1\r", "ATD1\r"), Wait(300ms, "\r\nCONNECT 9600\r\n", ModemState::Online),
               Wait(100ms), Say("+++", ""), Wait(100ms), Say("***", ""), Wait(100ms, "\r\nOK\r\n")},
     .state = ModemState::OnlineCommand,
     .card = "+++***"},
    {.name = "LeavesTheCallUpSoAtoGoesBackOnline",
     .start = Start::AfterEscape,
     .steps = {Say("ATO\r", "ATO\r\r\nCONNECT 9600\r\n", ModemState::Online), Say("Z", "")},
     .state = ModemState::Online,
     .card = "Z"},
};
INSTANTIATE_TEST_SUITE_P(ModemEscape, ModemTalk, testing::ValuesIn(kEscapes), RowName);

const Talk kHangUps[] = {
    {.name = "HappensOnAthAfterAnEscape",
     .start = Start::AfterEscape,
     .steps = {Say("ATH\r", "ATH\r\r\nOK\r\n", ModemState::Command),
               Say("ATO\r", "ATO\r\r\nERROR\r\n")}}, // no call to go back to
    {.name = "IsNeededBeforeDiallingAgain",
     .start = Start::AfterEscape,
     .steps = {Say("ATD2\r", "ATD2\r\r\nERROR\r\n")},
     .state = ModemState::OnlineCommand},
    {.name = "HappensWhenThePortIsClosed",
     .start = Start::InCall,
     .steps = {ClosePort(ModemState::Command), Say("AT\r", "AT\r\r\nOK\r\n")}},
    {.name = "CancelsADialWhenThePortIsClosed",
     .steps = {Say("ATD1\r", "ATD1\r"), ClosePort(), Wait(1s)}},
    {.name = "DoesNotHappenOnAClosedPortWhenDtrIsIgnored",
     .steps = {Say("AT&D0\r", "AT&D0\r\r\nOK\r\n"), Say("ATD1\r", "ATD1\r"),
               Wait(300ms, "\r\nCONNECT 9600\r\n"), ClosePort()},
     .state = ModemState::Online},
    {.name = "ResetsTheProfileOnAClosedPortUnderAmpersandD3",
     .steps = {Say("ATE0&D3\r", "ATE0&D3\r\r\nOK\r\n"), Say("ATD1\r", ""),
               Wait(300ms, "\r\nCONNECT 9600\r\n", ModemState::Online), ClosePort()},
     .echo = true},
};
INSTANTIATE_TEST_SUITE_P(ModemHangUp, ModemTalk, testing::ValuesIn(kHangUps), RowName);

const Talk kProfiles[] = {
    {.name = "FactoryResetRestoresTheConfiguredEcho",
     .config = Config([](ModemConfig& c) { c.echo = false; }),
     .steps = {Say("AT&F0\r", "\r\nOK\r\n"), Say("ATE1\r", "\r\nOK\r\n"),
               Say("AT&F0\r", "AT&F0\r\r\nOK\r\n"), Say("AT\r", "\r\nOK\r\n")}},
    {.name = "FactoryResetRestoresTheGuardTime",
     .steps = {Say("ATS12=5\r", "ATS12=5\r\r\nOK\r\n"), Say("AT&F\r", "AT&F\r\r\nOK\r\n")},
     .guardMs = 200},
    {.name = "ResetRestoresTheStoredProfileAndEndsTheLine",
     .steps = {Say("ATE0&W\r", "ATE0&W\r\r\nOK\r\n"), Say("ATE1\r", "\r\nOK\r\n"),
               Say("ATZE1\r", "ATZE1\r\r\nOK\r\n")},
     .echo = false},
};
INSTANTIATE_TEST_SUITE_P(ModemProfiles, ModemTalk, testing::ValuesIn(kProfiles), RowName);

// Every answer framed with the configured line ends.
Talk FramedBy(const char* name, ModemLineEnd lineEnd, const std::string& end) {
    Talk t{.name = name, .config = Config()};
    t.config.lineEnd = lineEnd;
    t.steps = {Say("ATE0\r", "ATE0\r" + end + "OK" + end), Say("ATD1\r", ""),
               Wait(300ms, end + "CONNECT 9600" + end)};
    t.state = ModemState::Online;
    return t;
}

const Talk kLineEnds[] = {
    FramedBy("FrameEveryAnswerWithCrLf", ModemLineEnd::CrLf, "\r\n"),
    FramedBy("FrameEveryAnswerWithLfCr", ModemLineEnd::LfCr, "\n\r"),
    FramedBy("FrameEveryAnswerWithBlankLines", ModemLineEnd::Blank, "\r\n\r\n"),
};
INSTANTIATE_TEST_SUITE_P(ModemLineEnds, ModemTalk, testing::ValuesIn(kLineEnds), RowName);

} // namespace

TEST(ModemCommands, AnswerErrorToUnknownCommandsAndValuesOutOfRange) {
    for (const char* cmd : {"ATJ\r", "ATX99\r", "ATE2\r", "AT&Q5\r", "AT&\r", "ATS256=1\r",
                            "ATS7=300\r", "ATS7\r", "ATH1\r", "ATO\r", "AT&F1\r"}) {
        Modem m;
        const std::string expected = std::string(cmd) + "\r\nERROR\r\n";
        EXPECT_EQ(m.Send(cmd), expected) << cmd;
    }
}

TEST(ModemCommands, LogEachCommandWithItsAnswer) {
    Modem m;
    m.Send("AT&F0\rATJ\r");
    ASSERT_EQ(m.events.size(), 2u);
    EXPECT_EQ(m.events[0], "AT&F0 -> OK");
    EXPECT_EQ(m.events[1], "ATJ -> ERROR");
}

TEST(ModemDial, EchoesAtOnceAndConnectsAfterTheDelay) {
    Modem m;
    EXPECT_EQ(m.Send("ATD5551234\r"), "ATD5551234\r");
    EXPECT_EQ(m.front.State(), ModemState::Dialling);
    EXPECT_EQ(m.front.NextDeadline(), m.now + 300ms);
    EXPECT_EQ(m.Advance(299ms), "");
    EXPECT_EQ(m.Advance(1ms), "\r\nCONNECT 9600\r\n");
    EXPECT_TRUE(m.front.Online());
    EXPECT_EQ(m.front.NextDeadline(), std::nullopt);
}

TEST(ModemDial, GivesADueAnswerBeforeTheBytesThatCameAfterIt) {
    Modem m;
    m.Send("ATD1\r");
    m.now += 400ms; // nobody ticked the modem in between
    EXPECT_EQ(m.Send("AT\r"), "\r\nCONNECT 9600\r\n");
    EXPECT_EQ(m.card, "AT\r");
}

TEST(ModemDial, IsAbortedByAByteFromTheLineButNotByTheLfAfterTheCommand) {
    Modem m;
    EXPECT_EQ(m.Send("ATD1\r\n"), "ATD1\r"); // dialling echoes nothing, not even the LF
    EXPECT_EQ(m.front.State(), ModemState::Dialling);
    m.Advance(100ms);
    EXPECT_EQ(m.Send("AT\r"), "\r\nNO CARRIER\r\nT\r"); // the aborting 'A' is dropped
    EXPECT_EQ(m.front.State(), ModemState::Command);
    EXPECT_EQ(m.front.NextDeadline(), std::nullopt);
    EXPECT_EQ(m.Advance(1s), "");
    EXPECT_EQ(m.Send("AT\r"), "AT\r\r\nOK\r\n");
}

TEST(ModemEscape, ReturnsToCommandStateAfterTheGuardTimeAndKeepsTheCall) {
    Modem m;
    m.Connect();
    m.Advance(200ms);
    EXPECT_EQ(m.Send("+++"), "");
    EXPECT_EQ(m.card, "+++"); // the escape also travels on
    EXPECT_EQ(m.front.NextDeadline(), m.now + 200ms);
    EXPECT_EQ(m.Advance(199ms), "");
    EXPECT_EQ(m.Advance(1ms), "\r\nOK\r\n");
    EXPECT_EQ(m.front.State(), ModemState::OnlineCommand);
    EXPECT_EQ(m.Send("AT\r"), "AT\r\r\nOK\r\n");
}

TEST(ModemLineEndNames, AreTheThreeLowerCaseWords) {
    EXPECT_EQ(cardsim::ParseModemLineEnd("crlf"), ModemLineEnd::CrLf);
    EXPECT_EQ(cardsim::ParseModemLineEnd("lfcr"), ModemLineEnd::LfCr);
    EXPECT_EQ(cardsim::ParseModemLineEnd("blank"), ModemLineEnd::Blank);
    EXPECT_EQ(cardsim::ParseModemLineEnd("CRLF"), std::nullopt);
    EXPECT_EQ(cardsim::ParseModemLineEnd("cr"), std::nullopt);
}

TEST(ModemSwitchedOff, AnswersNothingAtAll) {
    ModemConfig c = Config();
    c.switchedOff = true;
    Modem m(c);
    EXPECT_EQ(m.front.State(), ModemState::Off);
    EXPECT_EQ(m.Send("AT&F0\r"), "");
    EXPECT_EQ(m.Send("ATD1\r"), "");
    EXPECT_EQ(m.front.NextDeadline(), std::nullopt);
    EXPECT_EQ(m.Advance(10s), "");
    EXPECT_EQ(m.Take(m.front.DtrDropped(m.now)), "");
    EXPECT_TRUE(m.card.empty());
    ASSERT_EQ(m.events.size(), 2u);
    EXPECT_EQ(m.events[0], "switched off, 6 byte(s) ignored");
}
