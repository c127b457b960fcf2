#include "control/protocol/convert.h"
#include "control/protocol/reply.h"
#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

TEST(Convert, ReadsUpperCaseHexPairs) {
    EXPECT_EQ(HexPairToByte('0', '0'), 0x00);
    EXPECT_EQ(HexPairToByte('A', 'F'), 0xAF);
    EXPECT_EQ(HexPairToByte('F', 'F'), 0xFF);
    EXPECT_EQ(HexPairToByte('2', '0'), 0x20);
}

TEST(Convert, GivesOtherBytesForLowerCaseDigits) {
    // 'a' is worth 0x61 - 0x37 = 42: as a low digit it no longer reads as 10.
    EXPECT_EQ(HexPairToByte('0', 'a'), 0x2A);
    EXPECT_NE(HexPairToByte('8', 'a'), HexPairToByte('8', 'A'));
}

TEST(Convert, PacksBytesAsBcdAndReadsDigitPairsBack) {
    EXPECT_EQ(ByteToBcd(0), 0x00);
    EXPECT_EQ(ByteToBcd(7), 0x07);
    EXPECT_EQ(ByteToBcd(59), 0x59);
    EXPECT_EQ(ByteToBcd(99), 0x99);
    for (int v = 0; v < 100; ++v) {
        char text[3];
        std::snprintf(text, sizeof text, "%02X", ByteToBcd(static_cast<std::uint8_t>(v)));
        EXPECT_EQ(DigitPairToNumber(text[0], text[1]), v);
    }
}

TEST(CheckReply, AcceptsOnlyTheMatchingAcknowledgement) {
    const std::uint8_t expected[5] = {'C', 0x20, 0x00, 'O', 'K'};
    Bytes good = Hex("05 43 20 00 4F 4B 00");
    EXPECT_TRUE(CheckReply(6, good.data(), expected));

    Bytes wrongEcho = Hex("05 43 20 01 4F 4B 00");
    EXPECT_FALSE(CheckReply(6, wrongEcho.data(), expected));
    Bytes notOk = Hex("05 43 20 00 4F 4C 00");
    EXPECT_FALSE(CheckReply(6, notOk.data(), expected));
}

TEST(CheckReply, RefusesAWrongCountByte) {
    const std::uint8_t expected[5] = {'C', 0x20, 0x00, 'O', 'K'};
    Bytes reply = Hex("06 43 20 00 4F 4B 00");
    EXPECT_FALSE(CheckReply(6, reply.data(), expected));
    Bytes data(40, 0);
    data[0] = 12; // thirteen data bytes were due
    EXPECT_FALSE(CheckReply(14, data.data(), nullptr));
}

TEST(CheckReply, TurnsDataIntoTextEndingInZeroDigits) {
    std::uint8_t buf[64] = {};
    const Bytes reply = Hex("06 26 12 07 09 30 15");
    std::memcpy(buf, reply.data(), reply.size());
    ASSERT_TRUE(CheckReply(7, buf, nullptr));
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "26120709301500");

    std::uint8_t one[8] = {0x01, 0xF6, 0x00};
    ASSERT_TRUE(CheckReply(2, one, nullptr));
    EXPECT_STREQ(reinterpret_cast<char*>(one), "F600");
}

TEST(CheckReply, ConvertsTheLongestReplyInPlace) {
    std::uint8_t buf[512] = {};
    buf[0] = 128;
    for (int i = 1; i <= 128; ++i) buf[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(CheckReply(129, buf, nullptr));
    const std::string text(reinterpret_cast<char*>(buf));
    ASSERT_EQ(text.size(), 258u);
    for (int i = 1; i <= 128; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<std::uint8_t>(i * 7));
        EXPECT_EQ(text.substr(2 * (i - 1), 2), pair);
    }
    EXPECT_EQ(text.substr(256), "00");
}
