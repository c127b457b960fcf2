// The modem in front of the simulated card as a state machine, on a clock the
// test moves by hand: what it echoes and answers, when the dial's answer and
// the escape's OK fall due, and what it hands on to the card.
#include "sim/modem_front.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using cardsim::CModemFront;
using cardsim::ModemConfig;
using cardsim::ModemLineEnd;
using cardsim::ModemState;
using namespace std::chrono_literals;

namespace {

ModemConfig Config() {
    ModemConfig c;
    c.enabled = true;
    c.dialDelayMs = 300;
    c.guardMs = 200;
    return c;
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

} // namespace

TEST(ModemCommands, EchoTheFactoryResetAndAnswerOkInTheSameBurst) {
    Modem m;
    EXPECT_EQ(m.Send("AT&F0\r"), "AT&F0\r\r\nOK\r\n");
    EXPECT_EQ(m.front.State(), ModemState::Command);
    EXPECT_TRUE(m.card.empty());
}

TEST(ModemCommands, AnswerOkAloneOnceEchoIsSwitchedOff) {
    Modem m;
    EXPECT_EQ(m.Send("ATE0\r"), "ATE0\r\r\nOK\r\n"); // echoed before it takes effect
    EXPECT_EQ(m.Send("AT\r"), "\r\nOK\r\n");
    EXPECT_EQ(m.Send("ATE1\r"), "\r\nOK\r\n");
    EXPECT_EQ(m.Send("AT\r"), "AT\r\r\nOK\r\n");
}

TEST(ModemCommands, AcceptTheUsualSettingsInEitherCase) {
    Modem m;
    EXPECT_EQ(m.Send("ATL1M0X4B0&C1&D2&K3&S0&Y0T P\r"), "ATL1M0X4B0&C1&D2&K3&S0&Y0T P\r\r\nOK\r\n");
    EXPECT_EQ(m.Send("at&f0e1q0v1\r"), "at&f0e1q0v1\r\r\nOK\r\n");
}

TEST(ModemCommands, AnswerErrorToUnknownCommandsAndValuesOutOfRange) {
    for (const char* cmd : {"ATJ\r", "ATX99\r", "ATE2\r", "AT&Q5\r", "AT&\r", "ATS256=1\r",
                            "ATS7=300\r", "ATS7\r", "ATH1\r", "ATO\r", "AT&F1\r"}) {
        Modem m;
        const std::string expected = std::string(cmd) + "\r\nERROR\r\n";
        EXPECT_EQ(m.Send(cmd), expected) << cmd;
    }
}

TEST(ModemCommands, CarryOutTheCommandsBeforeAnErrorInTheSameLine) {
    Modem m;
    EXPECT_EQ(m.Send("ATE0J\r"), "ATE0J\r\r\nERROR\r\n");
    EXPECT_FALSE(m.front.Echo());
}

TEST(ModemCommands, IgnoreTextThatIsNotACommandLine) {
    Modem m;
    EXPECT_EQ(m.Send("hello\r\n"), "hello\r\n");
    EXPECT_EQ(m.Send("xxAAT\r\n"), "xxAAT\r\r\nOK\r\n\n");
    EXPECT_TRUE(m.card.empty());
}

TEST(ModemCommands, AssembleACommandThatArrivesInPieces) {
    Modem m;
    EXPECT_EQ(m.Send("A"), "A");
    EXPECT_EQ(m.Send("T&"), "T&");
    EXPECT_EQ(m.Send("F0\r"), "F0\r\r\nOK\r\n");
}

TEST(ModemCommands, LetBackspaceTakeBackTheLastCharacter) {
    Modem m;
    EXPECT_EQ(m.Send("ATX9\b\r"), "ATX9\b\r\r\nOK\r\n"); // X9 would be refused
}

TEST(ModemCommands, RefuseALineLongerThanTheirBuffer) {
    Modem m;
    const std::string fits = "AT" + std::string(128, 'L') + "\r";
    const std::string over = "AT" + std::string(129, 'L') + "\r";
    EXPECT_EQ(m.Send(fits), fits + "\r\nOK\r\n");
    EXPECT_EQ(m.Send(over), over + "\r\nERROR\r\n");
}

TEST(ModemCommands, SetAndReportRegisters) {
    Modem m;
    EXPECT_EQ(m.Send("ATS7=45\r"), "ATS7=45\r\r\nOK\r\n");
    EXPECT_EQ(m.Send("ATS7?\r"), "ATS7?\r\r\n045\r\n\r\nOK\r\n");
    EXPECT_EQ(m.Send("ATS12?\r"), "ATS12?\r\r\n010\r\n\r\nOK\r\n"); // 200 ms in 20 ms units
    EXPECT_EQ(m.Send("ATS12=5\r"), "ATS12=5\r\r\nOK\r\n");
    EXPECT_EQ(m.front.GuardMs(), 100);
}

TEST(ModemCommands, IdentifyThemselvesBeforeOk) {
    Modem m;
    EXPECT_EQ(m.Send("ATI\r"), "ATI\r\r\nCARDSIM\r\n\r\nOK\r\n");
}

TEST(ModemCommands, SendNoResultCodesWhenQuiet) {
    Modem m;
    EXPECT_EQ(m.Send("ATQ1\r"), "ATQ1\r");
    EXPECT_EQ(m.Send("ATJ\r"), "ATJ\r");
    EXPECT_EQ(m.Send("ATS7?\r"), "ATS7?\r\r\n050\r\n"); // information still comes
    EXPECT_EQ(m.Send("ATQ0\r"), "ATQ0\r\r\nOK\r\n");
}

TEST(ModemCommands, SendDigitCodesWhenNotVerbose) {
    Modem m;
    EXPECT_EQ(m.Send("ATV0\r"), "ATV0\r0\r");
    EXPECT_EQ(m.Send("ATJ\r"), "ATJ\r4\r");
    EXPECT_EQ(m.Send("ATD1\r"), "ATD1\r");
    EXPECT_EQ(m.Advance(300ms), "1\r");
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

TEST(ModemDial, StaysOfflineAfterABusyAnswer) {
    ModemConfig c = Config();
    c.dialAnswer = "BUSY";
    Modem m(c);
    m.Send("ATD1\r");
    EXPECT_EQ(m.Advance(300ms), "\r\nBUSY\r\n");
    EXPECT_EQ(m.front.State(), ModemState::Command);
    EXPECT_EQ(m.Send("AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_TRUE(m.card.empty());
}

TEST(ModemDial, AnswersOkAfterTheDelayWhenTheNumberEndsInSemicolon) {
    Modem m;
    EXPECT_EQ(m.Send("ATD1;\r"), "ATD1;\r");
    EXPECT_EQ(m.Advance(300ms), "\r\nOK\r\n");
    EXPECT_EQ(m.front.State(), ModemState::Command);
}

TEST(ModemDial, SendsOnlyLineEndsForAnEmptyAnswer) {
    ModemConfig c = Config();
    c.dialAnswer = "";
    Modem m(c);
    m.Send("ATD1\r");
    EXPECT_EQ(m.Advance(300ms), "\r\n\r\n");
    EXPECT_EQ(m.front.State(), ModemState::Command);
}

TEST(ModemOnline, PassesEveryByteToTheCardWithoutEchoOrAnswer) {
    Modem m;
    m.Connect();
    const std::string frame("\x1B$QK01W\x00\x01Z\xC8\x8E", 12);
    EXPECT_EQ(m.Send(frame), "");
    EXPECT_EQ(m.Send("AT\r"), "");
    EXPECT_EQ(m.card, frame + "AT\r");
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

TEST(ModemEscape, NeedsTheGuardTimeOfSilenceBefore) {
    Modem m;
    m.Connect();
    m.Advance(500ms);
    m.Send("x");
    m.Advance(199ms);
    m.Send("+++");
    EXPECT_EQ(m.Advance(1s), "");
    EXPECT_TRUE(m.front.Online());
}

TEST(ModemEscape, NeedsTheGuardTimeOfSilenceAfter) {
    Modem m;
    m.Connect();
    m.Advance(200ms);
    m.Send("+++");
    m.Advance(199ms);
    m.Send("x");
    EXPECT_EQ(m.Advance(1s), "");
    EXPECT_TRUE(m.front.Online());
    EXPECT_EQ(m.card, "+++x");
}

TEST(ModemEscape, IsNotFourEscapeCharacters) {
    Modem m;
    m.Connect();
    m.Advance(200ms);
    m.Send("++++");
    EXPECT_EQ(m.Advance(1s), "");
    EXPECT_TRUE(m.front.Online());
}

TEST(ModemEscape, AcceptsCharactersSpreadWithinTheGuardTime) {
    Modem m;
    m.Connect();
    m.Advance(200ms);
    m.Send("+");
    m.Advance(150ms);
    m.Send("+");
    m.Advance(150ms);
    m.Send("+");
    EXPECT_EQ(m.Advance(200ms), "\r\nOK\r\n");
}

TEST(ModemEscape, RefusesCharactersFurtherApartThanTheGuardTime) {
    Modem m;
    m.Connect();
    for (int i = 0; i < 3; ++i) {
        m.Advance(250ms);
        m.Send("+");
    }
    EXPECT_EQ(m.Advance(1s), "");
    EXPECT_TRUE(m.front.Online());
}

TEST(ModemEscape, FollowsTheGuardTimeAndCharacterInTheRegisters) {
    Modem m;
    m.Send("ATS12=5S2=42\r"); // 100 ms, '*'
    m.Connect();
    m.Advance(100ms);
    m.Send("+++");
    EXPECT_EQ(m.Advance(100ms), "");
    m.Send("***");
    EXPECT_EQ(m.Advance(100ms), "\r\nOK\r\n");
}

TEST(ModemHangUp, HappensOnAthAfterAnEscape) {
    Modem m;
    m.Escape();
    EXPECT_EQ(m.Send("ATH\r"), "ATH\r\r\nOK\r\n");
    EXPECT_EQ(m.front.State(), ModemState::Command);
    EXPECT_EQ(m.Send("ATO\r"), "ATO\r\r\nERROR\r\n"); // no call to go back to
    EXPECT_TRUE(m.card.empty());
}

TEST(ModemEscape, LeavesTheCallUpSoAtoGoesBackOnline) {
    Modem m;
    m.Escape();
    EXPECT_EQ(m.Send("ATO\r"), "ATO\r\r\nCONNECT 9600\r\n");
    EXPECT_TRUE(m.front.Online());
    m.Send("Z");
    EXPECT_EQ(m.card, "Z");
}

TEST(ModemHangUp, IsNeededBeforeDiallingAgain) {
    Modem m;
    m.Escape();
    EXPECT_EQ(m.Send("ATD2\r"), "ATD2\r\r\nERROR\r\n");
    EXPECT_EQ(m.front.State(), ModemState::OnlineCommand);
}

TEST(ModemHangUp, HappensWhenThePortIsClosed) {
    Modem m;
    m.Connect();
    EXPECT_EQ(m.Take(m.front.DtrDropped(m.now)), "");
    EXPECT_EQ(m.front.State(), ModemState::Command);
    EXPECT_EQ(m.Send("AT\r"), "AT\r\r\nOK\r\n");
}

TEST(ModemHangUp, CancelsADialWhenThePortIsClosed) {
    Modem m;
    m.Send("ATD1\r");
    m.Take(m.front.DtrDropped(m.now));
    EXPECT_EQ(m.Advance(1s), "");
    EXPECT_EQ(m.front.State(), ModemState::Command);
}

TEST(ModemHangUp, DoesNotHappenOnAClosedPortWhenDtrIsIgnored) {
    Modem m;
    m.Send("AT&D0\r");
    m.Connect();
    m.Take(m.front.DtrDropped(m.now));
    EXPECT_TRUE(m.front.Online());
}

TEST(ModemHangUp, ResetsTheProfileOnAClosedPortUnderAmpersandD3) {
    Modem m;
    m.Send("ATE0&D3\r");
    m.Connect();
    m.Take(m.front.DtrDropped(m.now));
    EXPECT_EQ(m.front.State(), ModemState::Command);
    EXPECT_TRUE(m.front.Echo());
}

TEST(ModemProfiles, FactoryResetRestoresTheConfiguredEcho) {
    ModemConfig c = Config();
    c.echo = false;
    Modem m(c);
    EXPECT_EQ(m.Send("AT&F0\r"), "\r\nOK\r\n");
    EXPECT_EQ(m.Send("ATE1\r"), "\r\nOK\r\n");
    EXPECT_EQ(m.Send("AT&F0\r"), "AT&F0\r\r\nOK\r\n");
    EXPECT_EQ(m.Send("AT\r"), "\r\nOK\r\n");
}

TEST(ModemProfiles, FactoryResetRestoresTheGuardTime) {
    Modem m;
    m.Send("ATS12=5\r");
    m.Send("AT&F\r");
    EXPECT_EQ(m.front.GuardMs(), 200);
}

TEST(ModemProfiles, ResetRestoresTheStoredProfileAndEndsTheLine) {
    Modem m;
    m.Send("ATE0&W\r");
    m.Send("ATE1\r");
    EXPECT_EQ(m.Send("ATZE1\r"), "ATZE1\r\r\nOK\r\n");
    EXPECT_FALSE(m.front.Echo());
}

class ModemLineEnds : public ::testing::TestWithParam<std::pair<ModemLineEnd, std::string>> {};

TEST_P(ModemLineEnds, FrameEveryAnswer) {
    ModemConfig c = Config();
    c.lineEnd = GetParam().first;
    Modem m(c);
    const std::string& end = GetParam().second;
    EXPECT_EQ(m.Send("ATE0\r"), "ATE0\r" + end + "OK" + end);
    EXPECT_EQ(m.Send("ATD1\r"), "");
    EXPECT_EQ(m.Advance(300ms), end + "CONNECT 9600" + end);
}

INSTANTIATE_TEST_SUITE_P(Configured, ModemLineEnds,
                         ::testing::Values(std::pair{ModemLineEnd::CrLf, std::string("\r\n")},
                                           std::pair{ModemLineEnd::LfCr, std::string("\n\r")},
                                           std::pair{ModemLineEnd::Blank, std::string("\r\n\r\n")}),
                         [](const auto& info) {
                             switch (info.param.first) {
                             case ModemLineEnd::CrLf: return "CrLf";
                             case ModemLineEnd::LfCr: return "LfCr";
                             case ModemLineEnd::Blank: return "Blank";
                             }
                             return "Unknown";
                         });

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
