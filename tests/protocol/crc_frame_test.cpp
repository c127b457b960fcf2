#include "control/protocol/crc16.h"
#include "control/protocol/frame.h"
#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

using namespace palvex;
using namespace testing_support;

namespace {

struct CrcTable {
    std::uint16_t t[256];
    CrcTable() { FillCrcTable(t); }
};

} // namespace

TEST(Crc, MatchesTheXmodemCheckValueAndTableEntries) {
    CrcTable table;
    const std::uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(CrcUpdate(table.t, 0, digits, sizeof digits), 0x31C3);
    EXPECT_EQ(table.t[0], 0x0000);
    EXPECT_EQ(table.t[1], 0x1021);
    EXPECT_EQ(table.t[255], 0x1EF0);
}

TEST(Crc, ContinuesAcrossPieces) {
    CrcTable table;
    const std::uint8_t data[] = {0x00, 0x05, 0x43, 0x20, 0x00, 0x40, 0x81};
    const std::uint16_t whole = CrcUpdate(table.t, 0, data, sizeof data);
    const std::uint16_t split = CrcUpdate(table.t, CrcUpdate(table.t, 0, data, 3), data + 3, 4);
    EXPECT_EQ(whole, 0x0790);
    EXPECT_EQ(split, whole);
}

TEST(Frame, WrapsALetterAloneForCardOne) {
    CrcTable table;
    const std::uint8_t payload[] = {'Z'};
    std::uint8_t out[16];
    ASSERT_EQ(BuildFrame(table.t, 1, payload, 1, out), 12u);
    EXPECT_EQ(ToHex(out, 12), "1B24514B3031570001" "5A" "C88E");
    std::uint8_t ack[5];
    ExpectedAck(out, ack);
    EXPECT_EQ(ToHex(ack, 5), "5AC88E4F4B");
}

TEST(Frame, PrintsTheCardNumberAsTwoUpperCaseHexDigits) {
    CrcTable table;
    const std::uint8_t payload[] = {'A'};
    std::uint8_t out[16];
    BuildFrame(table.t, 31, payload, 1, out);
    EXPECT_EQ(out[4], '1');
    EXPECT_EQ(out[5], 'F');
    BuildFrame(table.t, 10, payload, 1, out);
    EXPECT_EQ(out[4], '0');
    EXPECT_EQ(out[5], 'A');
}

TEST(Frame, PutsTheLengthHighByteFirst) {
    CrcTable table;
    std::vector<std::uint8_t> payload(1027, 0x11);
    payload[0] = 'L';
    std::vector<std::uint8_t> out(payload.size() + kFrameOverhead);
    ASSERT_EQ(BuildFrame(table.t, 0, payload.data(), payload.size(), out.data()), 1038u);
    EXPECT_EQ(out[7], 0x04);
    EXPECT_EQ(out[8], 0x03);
    const std::uint16_t crc = CrcUpdate(table.t, 0, out.data() + 7, payload.size() + 2);
    EXPECT_EQ(out[1036], crc >> 8);
    EXPECT_EQ(out[1037], crc & 0xFF);
}

TEST(Frame, EchoesLetterAndCrcHighByteForATwoBytePayload) {
    CrcTable table;
    const std::uint8_t payload[] = {'w', 30};
    std::uint8_t out[16];
    BuildFrame(table.t, 1, payload, 2, out);
    std::uint8_t ack[5];
    ExpectedAck(out, ack);
    EXPECT_EQ(ack[0], 'w');
    EXPECT_EQ(ack[1], 30);
    EXPECT_EQ(ack[2], out[11]); // CRC high byte
}

TEST(Frame, ExpectsTheReplyLengthOfEachLetter) {
    EXPECT_EQ(ExpectedReplyCount('A', 64), 13);
    EXPECT_EQ(ExpectedReplyCount('E', 64), 6);
    EXPECT_EQ(ExpectedReplyCount('U', 64), 1);
    EXPECT_EQ(ExpectedReplyCount('V', 64), 128);
    EXPECT_EQ(ExpectedReplyCount('W', 64), 64);
    EXPECT_EQ(ExpectedReplyCount('W', 5), 5);
    EXPECT_EQ(ExpectedReplyCount('Y', 64), 15);
    for (std::uint8_t letter : {'B', 'C', 'D', 'F', 'G', 'N', 'Z', 'w', 'x', 'y'})
        EXPECT_EQ(ExpectedReplyCount(letter, 64), 5) << letter;
    EXPECT_TRUE(IsDataReplyLetter('W'));
    EXPECT_FALSE(IsDataReplyLetter('C'));
}
