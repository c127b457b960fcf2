// The card's own CRC, reply lengths and acknowledgement (sim/card_protocol)
// against the standard check value and against the control's implementation:
// two independent implementations of the command frame that must agree.
#include "sim/card_protocol.h"

#include "control/protocol/crc16.h"
#include "control/protocol/frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

TEST(CardProtocolTest, TheCrcIsCrc16XmodemWithItsCheckValue) {
    const char* check = "123456789";
    EXPECT_EQ(cardsim::Crc16Xmodem(reinterpret_cast<const std::uint8_t*>(check), std::strlen(check)), 0x31C3);
    EXPECT_EQ(cardsim::Crc16Xmodem(nullptr, 0), 0);
}

TEST(CardProtocolTest, TheCardsCrcAgreesWithTheControlsOnRandomData) {
    std::uint16_t table[256];
    palvex::FillCrcTable(table);
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> data(random() % 600);
        for (auto& b : data) b = static_cast<std::uint8_t>(random());
        EXPECT_EQ(cardsim::Crc16Xmodem(data.data(), data.size()),
                  palvex::CrcUpdate(table, 0, data.data(), data.size()));
    }
}

TEST(CardProtocolTest, EveryLetterGetsTheReplyTheControlWaitsFor) {
    for (int letter = 0; letter < 256; ++letter) {
        const auto l = static_cast<std::uint8_t>(letter);
        EXPECT_EQ(cardsim::AnswersWithData(l), palvex::IsDataReplyLetter(l)) << letter;
        for (int height = 1; height <= 128; ++height)
            EXPECT_EQ(cardsim::ReplyDataCount(l, height), palvex::ExpectedReplyCount(l, height))
                << letter << " at height " << height;
    }
    const std::uint8_t frame[] = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0, 5, 'C', 0x20, 0x00, 0x40, 0x81, 0, 0};
    std::uint8_t card[5];
    std::uint8_t control[5];
    cardsim::AcknowledgementFor(frame, card);
    palvex::ExpectedAck(frame, control);
    EXPECT_EQ(std::memcmp(card, control, 5), 0);
    EXPECT_EQ(card[0], 'C');
    EXPECT_EQ(card[3], 'O');
    EXPECT_EQ(card[4], 'K');
}

// The acknowledgement echoes frame bytes 9 to 11: the letter and two data
// bytes, or for payloads of one and two bytes the letter and CRC bytes. The
// card and the control must echo alike for every letter answered that way.
TEST(CardProtocolTest, EveryAcknowledgedLetterIsEchoedAlikeForPayloadsOfOneTwoAndThreeBytes) {
    std::uint16_t table[256];
    palvex::FillCrcTable(table);
    int acknowledged = 0;
    for (int letter = 0; letter < 256; ++letter) {
        const auto l = static_cast<std::uint8_t>(letter);
        if (cardsim::AnswersWithData(l)) continue;
        ++acknowledged;
        for (std::size_t n : {1u, 2u, 3u, 5u}) {
            std::vector<std::uint8_t> payload(n, static_cast<std::uint8_t>(0x30 + n));
            payload[0] = l;
            std::vector<std::uint8_t> frame(n + palvex::kFrameOverhead);
            ASSERT_EQ(palvex::BuildFrame(table, 7, payload.data(), n, frame.data()), frame.size());
            std::uint8_t card[5];
            std::uint8_t control[5];
            cardsim::AcknowledgementFor(frame.data(), card);
            palvex::ExpectedAck(frame.data(), control);
            EXPECT_EQ(std::vector<std::uint8_t>(card, card + 5),
                      std::vector<std::uint8_t>(control, control + 5))
                << "letter " << letter << ", payload of " << n;
            EXPECT_EQ(card[0], l);
        }
    }
    EXPECT_EQ(acknowledged, 256 - 6); // all but "A", "E", "U", "V", "W" and "Y"
}
