#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <string>

using namespace testing_support;

namespace {

LONG_PTR Text(const std::string& s) { return reinterpret_cast<LONG_PTR>(s.c_str()); }

} // namespace

TEST(Line, SendsRowAndColumnLinesWithAscendingEnds) {
    CCaptureControl c;
    ASSERT_TRUE(c.Line(0, 10, 5, 3, 5, 9));
    EXPECT_EQ(ToHex(StoredBody(c)), "4B00" "0003" "0005" "000A" "0005" "01");
    ASSERT_TRUE(c.Line(1, 4, 20, 4, 2, 2));
    EXPECT_EQ(ToHex(StoredBody(c)), "4B01" "0004" "0002" "0004" "0014" "02");
    ASSERT_TRUE(c.Line(0, 7, 7, 7, 7, 3));
    EXPECT_EQ(ToHex(StoredBody(c)), "4B00" "0007" "0007" "0007" "0007" "03");
    ASSERT_TRUE(c.Line(0, -1, 0, 2, 0, 12));
    EXPECT_EQ(ToHex(StoredBody(c)), "4B00" "FFFF" "0000" "0002" "0000" "04");
}

TEST(Line, RefusesSlantedLinesWithoutSending) {
    CCaptureControl c;
    ASSERT_TRUE(c.Line(0, 7, 7, 7, 7, 3));
    const Bytes before = StoredBody(c);
    EXPECT_FALSE(c.Line(0, 1, 1, 5, 5, 1));
    EXPECT_EQ(StoredBody(c), before);
}

TEST(BankCommands, UseTheLowestBitOfTheBank) {
    CCaptureControl c;
    ASSERT_TRUE(c.SwitchToBank(2));
    EXPECT_EQ(ToHex(StoredBody(c)), "4C00");
    ASSERT_TRUE(c.ClearBank(3));
    EXPECT_EQ(ToHex(StoredBody(c)), "4E01");
    ASSERT_TRUE(c.CopyToBank(-1));
    EXPECT_EQ(ToHex(StoredBody(c)), "4D01");
}

TEST(ShowString, SendsPositionColourAndTheTextWithItsTerminator) {
    CCaptureControl c;
    ASSERT_TRUE(c.ShowString(0, 300, 16, 1, Text("")));
    EXPECT_EQ(ToHex(StoredBody(c)), "4A00012C001001" "00");
    ASSERT_TRUE(c.ShowString(0x101, -1, 2, 12, Text("Hi")));
    EXPECT_EQ(ToHex(StoredBody(c)), "4A01FFFF00020C" "4869" "00");
    ASSERT_TRUE(c.ShowString(1, 0, 0, 0x1FF, Text("\xC4\xE3")));
    EXPECT_EQ(ToHex(StoredBody(c)), "4A01000000" "00FF" "C4E3" "00");
}

TEST(ShowString, AcceptsTextsUpToTheBodyBufferAndRefusesLonger) {
    CCaptureControl c;
    const std::string longest(1092, 'A');
    ASSERT_TRUE(c.ShowString(0, 0, 0, 1, Text(longest)));
    EXPECT_EQ(StoredBody(c).size(), 1100u);
    const Bytes before = StoredBytes(c);
    const std::string tooLong(1093, 'A');
    EXPECT_FALSE(c.ShowString(0, 0, 0, 1, Text(tooLong)));
    EXPECT_FALSE(c.ShowString(0, 0, 0, 1, 0));
    EXPECT_EQ(StoredBytes(c), before);
}

TEST(DrawingCommands, ReportTheExchangeResult) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.autoAck = true;
    EXPECT_TRUE(c.ShowString(0, 1, 2, 3, Text("x")));
    EXPECT_TRUE(c.Line(0, 1, 2, 1, 9, 3));
    EXPECT_TRUE(c.ClearBank(0));
    c.link.autoAck = false;
    EXPECT_FALSE(c.SwitchToBank(1));
    EXPECT_EQ(c.link.written.size(), 3u + 5u);
    EXPECT_FALSE(c.SetLedProperty(40, 256, 64)); // disarms the control
    EXPECT_FALSE(c.CopyToBank(0));
    EXPECT_EQ(c.link.written.size(), 3u + 5u);
}
