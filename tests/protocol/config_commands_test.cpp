#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace testing_support;

namespace {

struct BstrDeleter {
    void operator()(OLECHAR* s) const { SysFreeString(s); }
};

std::string Narrow(BSTR s) {
    std::string out;
    for (unsigned i = 0; i < SysStringLen(s); ++i) out += static_cast<char>(s[i]);
    return out;
}

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
        EXPECT_TRUE(c.m_bPropertySet);
        EXPECT_EQ(c.m_nSendSteps, k.steps) << k.width << "x" << k.height;
        EXPECT_EQ(c.m_nTotalPages, k.pages) << k.width << "x" << k.height;
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
        EXPECT_FALSE(c.m_bPropertySet);
        EXPECT_EQ(c.m_nLedNum, v[0]); // stored even when refused
        BSTR s = nullptr;
        EXPECT_FALSE(c.QKGetProperty(&s));
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
    EXPECT_EQ(ToHex(c.m_lastFrame + 9, 5), "4320004081");
    EXPECT_FALSE(c.QKSetProperty(0));
    const auto len = c.m_nLastFrameLen;
    c.m_lastFrame[9] = 0;
    EXPECT_FALSE(c.QKSetProperty(Addr("2000408"))); // one character short
    EXPECT_FALSE(c.QKSetup(Addr("")));
    EXPECT_EQ(c.m_lastFrame[9], 0); // nothing built
    EXPECT_EQ(c.m_nLastFrameLen, len);
}

TEST(QKSetProperty, DoesNotCorrectLowerCaseText) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    ASSERT_TRUE(c.QKSetProperty(Addr("2000408a")));
    EXPECT_EQ(c.m_lastFrame[13], 0xAA); // '8','a' -> 0x80 + 42
}

TEST(QKSetup, AppendsTodaysDateAsBcd) {
    CTestControl c;
    c.SetSendFlag(0);
    c.now = MakeTime(2006, 3, 5);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    ASSERT_TRUE(c.QKSetup(Addr("DDDD7200")));
    EXPECT_EQ(c.m_nLastFrameLen, 20);
    EXPECT_EQ(ToHex(c.m_lastFrame + 9, 9), "42DDDD720020060305");
}

TEST(QKGetProperty, ReturnsThePropertyTextAsANewString) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex("0D DDDD7200 20061231 200040 81 00"));
    BSTR s = nullptr;
    ASSERT_TRUE(c.QKGetProperty(&s));
    std::unique_ptr<OLECHAR, BstrDeleter> owned(s);
    EXPECT_EQ(Narrow(s), "DDDD720020061231200040810000");
}

TEST(QKGetProperty, LeavesTheCallersStringAloneOnFailure) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    BSTR sentinel = reinterpret_cast<BSTR>(0x1234);
    BSTR s = sentinel;
    EXPECT_FALSE(c.QKGetProperty(&s));
    EXPECT_EQ(s, sentinel);
    EXPECT_EQ(c.link.written.size(), 5u);
}

TEST(QKGetProperty, GivesAnEmptyStringInCaptureMode) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    BSTR s = nullptr;
    ASSERT_TRUE(c.QKGetProperty(&s));
    std::unique_ptr<OLECHAR, BstrDeleter> owned(s);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 0u);
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
