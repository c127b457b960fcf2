// What the card does with each command: frames in, the card's state and the
// data replies out.
#include "sim/card_model.h"
#include "sim/card_state.h"

#include "sim_test_support.h"

#include <gtest/gtest.h>

using cardsim::CardAnswer;
using cardsim::CCardModel;
using cardsim::CivilTime;
using cardsim::MakePropertyBlock;
using simtest::Bytes;
using simtest::Hex;

namespace {

const CivilTime kNoon{2024, 3, 15, 12, 0, 0};

CivilTime At(int hour, int minute, int second = 0) {
    return CivilTime{2024, 3, 15, hour, minute, second};
}

CardAnswer Send(CCardModel& card, const Bytes& payload, const CivilTime& now = kNoon) {
    return simtest::AnswerFrame(card, simtest::MakeFrame(card.CardNumber(), payload), now);
}

// The data bytes of a reading command, without the count byte.
Bytes Read(CCardModel& card, const Bytes& payload, const CivilTime& now = kNoon) {
    const Bytes r = Send(card, payload, now).reply;
    return r.empty() ? r : Bytes(r.begin() + 1, r.end());
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Step `step` of page `page`: every column holds `code`.
Bytes PictureStep(int page, int step, int width, std::uint8_t code) {
    return Concat({'G', static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(step)},
                  Bytes(static_cast<std::size_t>(width), code));
}

// Sends a whole page of `code` on a screen of at most 64 rows.
void SendPage(CCardModel& card, int page, std::uint8_t code) {
    const int w = card.State().Display().Width();
    for (int s = 0; s < card.State().Display().Height(); ++s)
        Send(card, PictureStep(page, s, w, code));
}

const Bytes kStart = Concat({'F'}, Bytes{'P', 'R', 'O', 'G', 'R', 'A', 'M', 'R', 'U', 'N', 0});

Bytes Shown(const CCardModel& card) {
    const auto& d = card.State().Display();
    return d.Bank(d.Displayed());
}

Bytes Filled(const CCardModel& card, std::uint8_t code) {
    return Bytes(Shown(card).size(), code);
}

std::uint8_t Sum(const Bytes& b, std::size_t n) {
    std::uint8_t s = 0;
    for (std::size_t i = 0; i < n; ++i)
        s = static_cast<std::uint8_t>(s + b[i]);
    return s;
}

CCardModel Card(int width = 32, int height = 16, std::vector<std::pair<int, int>> dead = {}) {
    return CCardModel(1, MakePropertyBlock(width, height, 0), std::move(dead));
}

} // namespace

TEST(SimCardState, APicturePageGoesOnTheScreenWhenItsLastStepArrives) {
    CCardModel card = Card(32, 16);
    for (int s = 0; s < 15; ++s)
        EXPECT_FALSE(Send(card, PictureStep(2, s, 32, 5)).displayChanged);
    EXPECT_EQ(Shown(card), Filled(card, 0));
    const CardAnswer last = Send(card, PictureStep(2, 15, 32, 5));
    EXPECT_TRUE(last.displayChanged);
    EXPECT_NE(last.meaning.find("page 2 step 15"), std::string::npos) << last.meaning;
    EXPECT_EQ(Shown(card), Filled(card, 5));
    EXPECT_EQ(card.State().ShownPage(), 2);
}

TEST(SimCardState, TextAndLinesGoIntoTheBankTheyNameAndLShowsIt) {
    CCardModel card = Card(64, 16);
    // Line(1, 0, 3, 63, 3, 2) into bank 1, which is not on the screen.
    EXPECT_FALSE(Send(card, Hex("4B 01 0000 0003 003F 0003 02")).displayChanged);
    const CardAnswer text = Send(card, Hex("4A 03 0000 0000 06 41 42 00")); // bank 3 is bank 1
    EXPECT_FALSE(text.displayChanged);
    EXPECT_NE(text.meaning.find("text \"AB\" at (0, 0) in colour 6 (cyan) into bank 1"),
              std::string::npos)
        << text.meaning;
    EXPECT_EQ(Shown(card), Filled(card, 0));
    EXPECT_TRUE(Send(card, Hex("4C 01")).displayChanged);
    EXPECT_EQ(card.State().Display().Displayed(), 1);
    EXPECT_EQ(card.State().Display().Pixel(1, 63, 3), 2);
    const Bytes shown = Shown(card);
    const auto lit =
        shown.size() - static_cast<std::size_t>(std::count(shown.begin(), shown.end(), 0));
    EXPECT_GT(lit, 64u);                                   // the line and the letters
    EXPECT_FALSE(Send(card, Hex("4C 03")).displayChanged); // already shown
}

TEST(SimCardState, MCopiesTheOtherBankIntoTheNamedOneAndNClearsIt) {
    CCardModel card = Card(16, 8);
    Send(card, Hex("4B 00 0000 0000 000F 0000 07"));
    EXPECT_FALSE(Send(card, Hex("4D 01")).displayChanged); // bank 1 := bank 0
    EXPECT_EQ(card.State().Display().Bank(1), card.State().Display().Bank(0));
    EXPECT_TRUE(Send(card, Hex("4E 00")).displayChanged);
    EXPECT_EQ(Shown(card), Filled(card, 0));
    EXPECT_TRUE(Send(card, Hex("4D 00")).displayChanged); // bank 0 := bank 1
    EXPECT_EQ(card.State().Display().Pixel(0, 15, 0), 7);
}

TEST(SimCardState, AProgramRunShowsItsPagesInTurnForTheirStayTimes) {
    CCardModel card = Card(8, 4);
    SendPage(card, 0, 1);
    SendPage(card, 1, 2);
    SendPage(card, 2, 4);
    // Three programs staying 2, 1 and 3 seconds.
    Send(card, Hex("48 03 00 00 00 02 00 00 00 01 00 00 00 03"));
    EXPECT_EQ(Shown(card), Filled(card, 4)); // still the last page sent
    const CardAnswer start = Send(card, kStart, At(12, 0, 0));
    EXPECT_TRUE(start.displayChanged);
    EXPECT_EQ(Shown(card), Filled(card, 1));
    EXPECT_FALSE(card.Tick(At(12, 0, 1)));
    EXPECT_TRUE(card.Tick(At(12, 0, 2)));
    EXPECT_EQ(Shown(card), Filled(card, 2));
    EXPECT_TRUE(card.Tick(At(12, 0, 3)));
    EXPECT_EQ(Shown(card), Filled(card, 4));
    EXPECT_TRUE(card.Tick(At(12, 0, 6))); // round again
    EXPECT_EQ(Shown(card), Filled(card, 1));
    // An order list replaces the list order: page 2, then page 1.
    Send(card, Hex("78 02 02 01"), At(12, 0, 6));
    EXPECT_EQ(Shown(card), Filled(card, 4));
    EXPECT_TRUE(card.Tick(At(12, 0, 7))); // 3 s into a round of 4: page 1
    EXPECT_EQ(Shown(card), Filled(card, 2));
}

TEST(SimCardState, ASkippedProgramIsLeftOutOfTheRun) {
    CCardModel card = Card(8, 4);
    SendPage(card, 0, 1);
    SendPage(card, 1, 2);
    SendPage(card, 2, 4);
    // Entry 0 flags its next program (1) as skipped.
    Send(card, Hex("48 03 00 80 00 01 00 00 00 01 00 00 00 01"));
    Send(card, kStart, At(12, 0, 0));
    EXPECT_EQ(card.State().Programs().PlayOrder(), (std::vector<int>{0, 2}));
    card.Tick(At(12, 0, 1));
    EXPECT_EQ(Shown(card), Filled(card, 4));
}

TEST(SimCardState, AStartWithAnotherCodeIsAcknowledgedAndIgnored) {
    CCardModel card = Card(8, 4);
    SendPage(card, 0, 1);
    Send(card, Hex("48 01 00 00 00 01"));
    const CardAnswer a = Send(card, Hex("46 50 52 4F 47 00"));
    EXPECT_EQ(a.reply.size(), 6u);
    EXPECT_FALSE(card.State().Programs().Running());
}

TEST(SimCardState, TheStatusRecordFollowsTheSettingsAndItsLastByteIsTheirSum) {
    CCardModel card = Card(32, 16);
    Send(card, Hex("52 FB"));             // offset -5
    Send(card, Hex("53 00 01 01"));       // power off, fan and other on
    Send(card, Hex("50 2C"));             // brightness 44
    Send(card, Hex("4F 55"));             // font library locked
    Send(card, Hex("51 46 3C 2D 28 01")); // temperature control on
    Send(card, Hex("77 0A"));             // time-out 10 s
    Send(card, Hex("48 02 00 00 00 01 00 00 00 01"));
    Send(card, Hex("78 03 01 00 01"));
    Send(card, Hex("4C 01"));
    SendPage(card, 7, 3);
    const Bytes y = Read(card, {'Y'});
    ASSERT_EQ(y.size(), 15u);
    // Card 1, 20 degrees, test idle, fan and other relays, page 7, bank 1,
    // brightness 44, 2 programs, 3 order entries, library locked (none
    // sent), temperature control on, dark (power off), 10 s.
    EXPECT_EQ(Bytes(y.begin(), y.begin() + 14), Hex("01 14 00 06 00 07 01 2C 02 03 01 01 00 0A"))
        << simtest::ToHex(y);
    EXPECT_EQ(y[14], Sum(y, 14));
}

TEST(SimCardState, TheSelfTestRunsForOneReadingThenReportsItsDeadLeds) {
    CCardModel card = Card(32, 8, {{10, 3}, {15, 3}, {2, 5}});
    EXPECT_EQ(Read(card, {'W', 0x01}), Bytes(8, 0xFF)); // not tested yet
    EXPECT_EQ(Read(card, {'U'}), Hex("00"));
    Send(card, {'T'});
    EXPECT_EQ(Read(card, {'U'}), Hex("01"));
    EXPECT_EQ(Read(card, {'U'}), Hex("02"));
    EXPECT_EQ(Read(card, {'U'}), Hex("02"));
    // Columns 8..15 (group 1), any colour: column 10 is bit 5, 15 is bit 0.
    EXPECT_EQ(Read(card, {'W', 0x41}), Hex("00 00 00 21 00 00 00 00"));
    EXPECT_EQ(Read(card, {'W', 0xC0}), Hex("00 00 00 00 00 20 00 00"));
    EXPECT_EQ(Read(card, {'W', 0x02}), Bytes(8, 0));
    Send(card, {'Z'});
    EXPECT_EQ(Read(card, {'U'}), Hex("00"));
}

TEST(SimCardState, PowerChecksCountPowerCutsPerSupplyUntilCleared) {
    CCardModel card = Card(256, 64); // 4 x 2 supplies of 64 x 32
    Send(card, Hex("53 00 00 00"));
    Send(card, Hex("53 00 00 00")); // already off: no new cut
    Send(card, Hex("53 01 00 00"));
    Send(card, Hex("53 00 00 00"));
    Bytes v = Read(card, {'V'});
    ASSERT_EQ(v.size(), 128u);
    EXPECT_EQ(Bytes(v.begin(), v.begin() + 9), Hex("02 02 02 02 02 02 02 02 00"));
    EXPECT_EQ(std::count(v.begin() + 8, v.end(), 0), 120);
    Send(card, {'X'});
    EXPECT_EQ(Read(card, {'V'}), Bytes(128, 0));
}

TEST(SimCardState, TheScreenIsDarkOutsideItsOnOffTimesAndWithThePowerOff) {
    CCardModel card = Card(8, 4);
    EXPECT_TRUE(card.ScreenOn(At(3, 0)));
    // 08:00-12:00 and 22:00-01:30 (over midnight), both ends included.
    EXPECT_TRUE(Send(card, Hex("79 08 00 12 00 22 00 01 30")).displayChanged);
    EXPECT_TRUE(card.ScreenOn(At(8, 0)));
    EXPECT_TRUE(card.ScreenOn(At(12, 0)));
    EXPECT_FALSE(card.ScreenOn(At(12, 1)));
    EXPECT_TRUE(card.ScreenOn(At(0, 30)));
    EXPECT_FALSE(card.ScreenOn(At(1, 31)));
    EXPECT_TRUE(card.ScreenOn(At(23, 59)));
    // The card's clock decides, not the host's: set the card to 13:00.
    Send(card, Hex("44 24 03 15 13 00 05 00"), At(9, 0));
    EXPECT_FALSE(card.ScreenOn(At(9, 0)));
    EXPECT_EQ(Read(card, {'Y'}, At(9, 0))[12], 0);
    Send(card, Hex("44 24 03 15 09 00 05 00"), At(9, 0));
    Send(card, Hex("53 00 00 00"), At(9, 0));
    EXPECT_FALSE(card.ScreenOn(At(9, 0)));
}

TEST(SimCardState, ResetClearsTheBanksAndKeepsPicturesListsAndSettings) {
    CCardModel card = Card(8, 4);
    SendPage(card, 3, 6);
    Send(card, Hex("4F 55"));
    Send(card, Hex("50 10"));
    Send(card, Hex("4C 01"));
    const CardAnswer z = Send(card, {'Z'});
    EXPECT_TRUE(z.displayChanged);
    EXPECT_EQ(card.State().Display().Displayed(), 0);
    EXPECT_EQ(card.State().Display().Bank(0), Filled(card, 0));
    EXPECT_EQ(card.State().Display().Bank(1), Filled(card, 0));
    EXPECT_TRUE(card.State().Pictures().HasPage(3));
    EXPECT_TRUE(card.State().Fonts().Locked());
    EXPECT_EQ(card.State().Device().brightness, 0x10);
    const Bytes y = Read(card, {'Y'});
    EXPECT_EQ(y[4], 0xFF); // no page on the screen
    EXPECT_EQ(y[5], 0xFF);
}

TEST(SimCardState, ResetStartsARunningProgramOver) {
    CCardModel card = Card(8, 4);
    SendPage(card, 0, 1);
    SendPage(card, 1, 2);
    Send(card, Hex("48 02 00 00 00 05 00 00 00 05"));
    Send(card, kStart, At(12, 0, 0));
    card.Tick(At(12, 0, 5));
    EXPECT_EQ(Shown(card), Filled(card, 2));
    Send(card, {'Z'}, At(12, 0, 7));
    EXPECT_EQ(Shown(card), Filled(card, 1));
    EXPECT_TRUE(card.Tick(At(12, 0, 12)));
    EXPECT_EQ(Shown(card), Filled(card, 2));
}

TEST(SimCardState, ALockedFontLibraryAcknowledgesBlocksButKeepsWhatItHas) {
    CCardModel card = Card(8, 4);
    const Bytes block = Concat(Hex("49 00 04"), Bytes(1024, 0x3C));
    Send(card, Hex("4F 55"));
    const CardAnswer refused = Send(card, block);
    EXPECT_EQ(refused.reply.size(), 6u);
    EXPECT_NE(refused.meaning.find("locked"), std::string::npos);
    EXPECT_FALSE(card.State().Fonts().Present());
    Send(card, Hex("4F 00"));
    Send(card, block);
    EXPECT_EQ(card.State().Fonts().BytesStored(), 1024u);
    EXPECT_TRUE(card.State().Fonts().Ascii('A').fromLibrary);
}

TEST(SimCardState, ANewScreenSizeResizesTheBanks) {
    CCardModel card = Card(8, 4);
    EXPECT_TRUE(Send(card, Hex("43 02 00 14 00")).displayChanged); // 32 x 20
    EXPECT_EQ(card.State().Display().Width(), 32);
    EXPECT_EQ(card.State().Display().Height(), 20);
    EXPECT_EQ(Read(card, {'W'}).size(), 20u);
}
