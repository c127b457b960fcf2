// The card's answers to complete frames, checked against literal bytes.
#include "sim/card_model.h"

#include "sim_test_support.h"

#include <gtest/gtest.h>

using cardsim::CardAnswer;
using cardsim::CCardModel;
using cardsim::CivilTime;
using cardsim::MakePropertyBlock;
using simtest::Bytes;
using simtest::Hex;
using simtest::MakeFrame;

namespace {

const CivilTime kNoon{2024, 3, 15, 12, 0, 0};

CardAnswer Ask(CCardModel& card, const Bytes& frame, const CivilTime& now = kNoon) {
    return simtest::AnswerFrame(card, frame, now);
}

Bytes Reply(CCardModel& card, const Bytes& payload, const CivilTime& now = kNoon) {
    return Ask(card, MakeFrame(card.CardNumber(), payload), now).reply;
}

CCardModel Card1() { return CCardModel(1, MakePropertyBlock(256, 64, 0)); }

} // namespace

TEST(SimCardModel, AcknowledgesTheGoldenZFrame) {
    CCardModel card = Card1();
    const CardAnswer a = Ask(card, Hex("1B 24 51 4B 30 31 57 00 01 5A C8 8E"));
    ASSERT_TRUE(a.answered);
    EXPECT_EQ(a.reply, Hex("05 5A C8 8E 4F 4B"));
}

TEST(SimCardModel, AcknowledgesTheGoldenCFrameAndTakesItsScreen) {
    CCardModel card = Card1();
    const CardAnswer a = Ask(card, Hex("1B 24 51 4B 30 31 57 00 05 43 20 00 40 81 07 90"));
    ASSERT_TRUE(a.answered);
    EXPECT_EQ(a.reply, Hex("05 43 20 00 4F 4B"));
    EXPECT_TRUE(a.blockChanged);
    EXPECT_EQ(cardsim::BlockWidth(card.Block()), 512);
    EXPECT_EQ(cardsim::BlockHeight(card.Block()), 64);
    EXPECT_EQ(cardsim::BlockFlags(card.Block()), 0x81);
}

TEST(SimCardModel, AcknowledgesATwoBytePayloadWithTheHighCrcByte) {
    CCardModel card = Card1();
    const Bytes frame = MakeFrame(1, {'w', 0x0A});
    // Letter, data byte, then the first CRC byte of the frame.
    EXPECT_EQ(Ask(card, frame).reply, (Bytes{0x05, 'w', 0x0A, frame[11], 'O', 'K'}));
}

TEST(SimCardModel, AnswersOnlyItsOwnCardNumber) {
    CCardModel card1 = Card1();
    CCardModel card2(2, MakePropertyBlock(256, 64, 0));
    const Bytes toCard2 = MakeFrame(2, {'Z'});
    EXPECT_FALSE(Ask(card1, toCard2).answered);
    EXPECT_EQ(card1.Counters().otherAddress, 1u);
    EXPECT_EQ(card1.Counters().framesOk, 0u);
    EXPECT_TRUE(Ask(card2, toCard2).answered);
}

TEST(SimCardModel, StaysSilentOnABadCrc) {
    CCardModel card = Card1();
    const CardAnswer a = Ask(card, Hex("1B 24 51 4B 30 31 57 00 01 5A C8 8F"));
    EXPECT_FALSE(a.answered);
    EXPECT_TRUE(a.reply.empty());
    EXPECT_EQ(card.Counters().badCrc, 1u);
    EXPECT_TRUE(card.LastPayload().empty());
}

TEST(SimCardModel, ReturnsItsPropertyBlockForA) {
    CCardModel card = Card1();
    // DDDD7200, made 2006-01-01, 256 x 64 (0x100, 0x040), flags 0, free byte 0.
    EXPECT_EQ(Reply(card, {'A'}), Hex("0D DD DD 72 00 20 06 01 01 10 00 40 00 00"));
}

TEST(SimCardModel, BAndCChangeWhatAReturns) {
    CCardModel card = Card1();
    ASSERT_EQ(Reply(card, Hex("42 DD DD 73 05 20 24 03 15")), Hex("05 42 DD DD 4F 4B"));
    ASSERT_EQ(Reply(card, Hex("43 0C 00 80 02")), Hex("05 43 0C 00 4F 4B"));
    // 0x0C0 = 192 wide, 0x080 = 128 high, flags 2.
    EXPECT_EQ(Reply(card, {'A'}), Hex("0D DD DD 73 05 20 24 03 15 0C 00 80 02 00"));
}

TEST(SimCardModel, ShortBAndCPayloadsAreAcknowledgedWithoutChangingTheBlock) {
    CCardModel card = Card1();
    const auto before = card.Block();
    const CardAnswer b = Ask(card, MakeFrame(1, Hex("42 11 22")));
    const CardAnswer c = Ask(card, MakeFrame(1, Hex("43 11")));
    EXPECT_TRUE(b.answered);
    EXPECT_TRUE(c.answered);
    EXPECT_FALSE(b.blockChanged || c.blockChanged);
    EXPECT_EQ(card.Block(), before);
}

TEST(SimCardModel, WReplyLengthFollowsTheScreenHeight) {
    CCardModel card = Card1();
    Bytes w = Reply(card, {'W'});
    ASSERT_EQ(w.size(), 65u);
    EXPECT_EQ(w[0], 64);
    Reply(card, Hex("43 10 00 10 00")); // 256 x 16
    w = Reply(card, {'W'});
    ASSERT_EQ(w.size(), 17u);
    EXPECT_EQ(w[0], 16);
    // Five rows give an acknowledgement-sized reply that is still data
    // (every row "not tested" before a self-test).
    Reply(card, Hex("43 10 00 05 00"));
    EXPECT_EQ(Reply(card, {'W'}), Hex("05 FF FF FF FF FF"));
}

TEST(SimCardModel, DataRepliesHaveTheLengthsTheControlReads) {
    CCardModel card = Card1();
    const struct {
        std::uint8_t letter;
        std::size_t count;
    } cases[] = {{'A', 13}, {'E', 6}, {'U', 1}, {'V', 128}, {'Y', 15}};
    for (const auto& c : cases) {
        const Bytes r = Reply(card, {c.letter});
        ASSERT_EQ(r.size(), c.count + 1) << c.letter;
        EXPECT_EQ(r[0], c.count) << c.letter;
    }
}

TEST(SimCardModel, StatusRecordDescribesTheFreshCardAndEndsInItsChecksum) {
    CCardModel card(3, MakePropertyBlock(512, 96, 0x81));
    // Card 3, 25 degrees, test idle, power relay on, no page (FFFF), bank 0,
    // brightness 255, no lists, no font library, no temperature control,
    // screen lit, time-out 5 s; the sum of those bytes is 0x20 modulo 256.
    EXPECT_EQ(Reply(card, {'Y'}), Hex("0F 03 19 00 01 FF FF 00 FF 00 00 00 00 01 05 20"));
}

TEST(SimCardModel, AcknowledgesEveryOtherLetterWithTheFrameBytes) {
    CCardModel card = Card1();
    Bytes letters;
    for (std::uint8_t c = 'F'; c <= 'T'; ++c) letters.push_back(c);
    for (std::uint8_t c : Bytes{'X', 'Z', 'w', 'x', 'y', 'a', 0x00, 0xFF}) letters.push_back(c);
    for (std::uint8_t letter : letters) {
        const Bytes frame = MakeFrame(1, {letter, 0x12, 0x34});
        EXPECT_EQ(Ask(card, frame).reply, (Bytes{0x05, letter, 0x12, 0x34, 'O', 'K'}))
            << static_cast<int>(letter);
    }
}

TEST(SimCardModel, ClockReadsHostTimeUntilSetThenKeepsTheSetOffset) {
    CCardModel card = Card1();
    EXPECT_EQ(Reply(card, {'E'}), Hex("06 24 03 15 12 00 00"));
    // Set 2025-12-31 23:59:50 (a Wednesday, weekday 3).
    Reply(card, Hex("44 25 12 31 23 59 03 50"));
    CivilTime later = kNoon;
    later.second = 20;
    // Twenty seconds later on the host the card has crossed into a new year.
    EXPECT_EQ(Reply(card, {'E'}, later), Hex("06 26 01 01 00 00 10"));
}

TEST(SimCardModel, IgnoresAnImpossibleClockButAcknowledgesIt) {
    CCardModel card = Card1();
    const Bytes impossible[] = {Hex("44 25 13 01 00 00 00 00"), Hex("44 25 02 30 00 00 00 00"),
                                Hex("44 25 01 01 24 00 00 00"), Hex("44 2A 01 01 00 00 00 00")};
    for (const Bytes& p : impossible) {
        EXPECT_EQ(Reply(card, p).size(), 6u);
        EXPECT_EQ(card.ClockOffsetSeconds(), 0);
    }
}

TEST(SimCardModel, CountsLettersAndKeepsTheLastPayload) {
    CCardModel card = Card1();
    Reply(card, {'A'});
    Reply(card, {'A'});
    Reply(card, Hex("43 20 00 40 81"));
    EXPECT_EQ(card.Counters().framesOk, 3u);
    EXPECT_EQ(card.Counters().perLetter['A'], 2u);
    EXPECT_EQ(card.Counters().perLetter['C'], 1u);
    EXPECT_EQ(card.LastPayload(), Hex("43 20 00 40 81"));
}

TEST(SimPropertyBlock, PacksTwelveBitSizes) {
    const auto b = MakePropertyBlock(0xABC, 0xDEF, 0x5A);
    EXPECT_EQ(b[8], 0xAB);
    EXPECT_EQ(b[9], 0xCD);
    EXPECT_EQ(b[10], 0xEF);
    EXPECT_EQ(cardsim::BlockWidth(b), 0xABC);
    EXPECT_EQ(cardsim::BlockHeight(b), 0xDEF);
}

TEST(SimPropertyBlock, HexTextRoundTripsAndRejectsOtherText) {
    const auto b = MakePropertyBlock(512, 64, 0x81);
    EXPECT_EQ(cardsim::BlockToHex(b), "DDDD72002006010120004081" "00");
    EXPECT_EQ(cardsim::BlockFromHex("  " + cardsim::BlockToHex(b) + "\n"), b);
    EXPECT_EQ(cardsim::BlockFromHex("dddd7200200601012000408100"), b);
    EXPECT_EQ(cardsim::BlockFromHex("DDDD72002006010120004081 00"), std::nullopt);
    EXPECT_EQ(cardsim::BlockFromHex("DDDD720020060101200040810"), std::nullopt);
    EXPECT_EQ(cardsim::BlockFromHex("DDDD72002006010120004081G0"), std::nullopt);
}

TEST(SimCivilTime, ConvertsToAndFromSeconds) {
    EXPECT_EQ(cardsim::CivilToSeconds({1970, 1, 1, 0, 0, 0}), 0);
    EXPECT_EQ(cardsim::CivilToSeconds({2000, 3, 1, 0, 0, 0}), 951868800);
    for (const CivilTime t : {CivilTime{2024, 2, 29, 23, 59, 59}, CivilTime{2099, 12, 31, 0, 0, 1},
                              CivilTime{2000, 1, 1, 12, 34, 56}}) {
        const CivilTime back = cardsim::SecondsToCivil(cardsim::CivilToSeconds(t));
        EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
                  std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second));
    }
}
