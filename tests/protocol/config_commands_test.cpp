#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace testing_support;

namespace {

LONG_PTR Addr(const char* text) { return reinterpret_cast<LONG_PTR>(text); }

} // namespace

TEST(SetLedProperty, DerivesStepAndPageCounts) {
    struct Case {
        short num, width, height, steps, pages;
    };
    const Case cases[] = {
        {0, 256, 64, 64, 63}, {31, 512, 128, 64, 31}, {1, 100, 1, 1, 4094}, {0, 257, 8, 8, 255},
        {2, 512, 1, 1, 2047},
    };
    for (const Case& k : cases) {
        CTestControl c;
        ASSERT_TRUE(c.SetLedProperty(k.num, k.width, k.height));
        short count = -1;
        EXPECT_TRUE(c.GetSendString(&count, nullptr)); // armed
        EXPECT_EQ(c.GetSendStepNum(), k.steps) << k.width << "x" << k.height;
        EXPECT_EQ(c.GetTotalPageNum(), k.pages) << k.width << "x" << k.height;
    }
}

TEST(SetLedProperty, RefusesValuesOutsideTheScreenModelAndDisarms) {
    const short bad[][3] = {{32, 256, 64}, {0, 513, 64}, {0, 512, 129}, {-1, 256, 64},
                            {0, 0, 64},    {0, 256, 0},  {0, -5, 64},   {0, 256, -1}};
    for (const auto& v : bad) {
        CTestControl c;
        c.Open();
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        EXPECT_FALSE(c.SetLedProperty(v[0], v[1], v[2]));
        short count = -1;
        EXPECT_FALSE(c.GetSendString(&count, nullptr)); // disarmed
        EXPECT_EQ(count, -1);
        char text[CPalvexCtrl::kPropertyTextCapacity];
        EXPECT_FALSE(c.QKGetProperty(text, sizeof text));
        EXPECT_TRUE(c.link.written.empty());
    }
}

TEST(QKSetProperty, SendsTheConfigurationFrameByteForByte) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex("05 43 20 00 4F 4B"));
    EXPECT_TRUE(c.QKSetProperty(Addr("20004081")));
    ASSERT_EQ(c.link.written.size(), 1u);
    EXPECT_EQ(ToHex(c.link.written[0]), "1B24514B30315700054320004081" "0790");
}

TEST(QKSetProperty, ReadsExactlyEightCharactersWithoutATerminator) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    auto text = std::make_unique<char[]>(8); // no room for a terminator
    std::memcpy(text.get(), "20004081", 8);
    EXPECT_TRUE(c.QKSetProperty(reinterpret_cast<LONG_PTR>(text.get())));
    const Bytes built = StoredBytes(c);
    ASSERT_EQ(built.size(), 16u);
    EXPECT_EQ(ToHex(built.data() + 9, 5), "4320004081");
    EXPECT_FALSE(c.QKSetProperty(0));
    EXPECT_FALSE(c.QKSetProperty(Addr("2000408"))); // one character short
    EXPECT_FALSE(c.QKSetup(Addr("")));
    EXPECT_EQ(StoredBytes(c), built); // nothing built
}

TEST(QKSetProperty, DoesNotCorrectLowerCaseText) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    ASSERT_TRUE(c.QKSetProperty(Addr("2000408a")));
    EXPECT_EQ(StoredBytes(c).at(13), 0xAA); // '8','a' -> 0x80 + 42
}

TEST(QKSetup, AppendsTodaysDateAsBcd) {
    CTestControl c;
    c.SetSendFlag(0);
    c.now = MakeTime(2006, 3, 5);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    ASSERT_TRUE(c.QKSetup(Addr("DDDD7200")));
    const Bytes frame = StoredBytes(c);
    ASSERT_EQ(frame.size(), 20u);
    EXPECT_EQ(ToHex(frame.data() + 9, 9), "42DDDD720020060305");
}

TEST(QKGetProperty, ReturnsThePropertyTextAsHex) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex("0D DDDD7200 20061231 200040 81 00"));
    char text[CPalvexCtrl::kPropertyTextCapacity];
    ASSERT_TRUE(c.QKGetProperty(text, sizeof text));
    EXPECT_STREQ(text, "DDDD720020061231200040810000");
}

TEST(QKGetProperty, GivesAnEmptyTextOnFailureInCaptureModeAndForAShortBuffer) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    char text[CPalvexCtrl::kPropertyTextCapacity] = "stale";
    EXPECT_FALSE(c.QKGetProperty(text, sizeof text)); // nobody answers
    EXPECT_STREQ(text, "");
    EXPECT_EQ(c.link.written.size(), 5u);
    EXPECT_FALSE(c.QKGetProperty(text, sizeof text - 1));
    EXPECT_FALSE(c.QKGetProperty(nullptr, sizeof text));
    EXPECT_EQ(c.link.written.size(), 5u); // refused before anything was sent

    CTestControl capture;
    capture.SetSendFlag(0);
    ASSERT_TRUE(capture.SetLedProperty(1, 256, 64));
    std::strcpy(text, "stale");
    ASSERT_TRUE(capture.QKGetProperty(text, sizeof text));
    EXPECT_STREQ(text, "");
}

TEST(GetVersion, PacksTheMinorDigitAndTheFlagsByte) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex("0D DDDD7200 20061231 200040 81 00"));
    EXPECT_EQ(c.GetVersion(), 0x0081);
    c.link.replies.push_back(Hex("0D DDDD7235 20061231 200040 03 00"));
    EXPECT_EQ(c.GetVersion(), 0x0303);
    EXPECT_EQ(c.GetVersion(), -1); // no reply
    c.SetLedProperty(40, 256, 64);
    EXPECT_EQ(c.GetVersion(), -1);
}
