// The control keeps the card's facts of control/palvex_facts.h: the buffer
// sizes it reads, the screen it accepts and where the property text holds
// each value of the card property block.
#include "control/palvex_facts.h"
#include "control/protocol/frame.h"
#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

using namespace testing_support;
namespace card = palvex::card;
namespace prop = palvex::card::property;

static_assert(CCommandSet::kPictureRowPitch == card::kPictureRowPitch);
static_assert(CCommandSet::kPictureBufferSize == card::kPictureBufferSize);
static_assert(CCommandSet::kProgRecordSize == card::kProgRecordSize);
static_assert(CCommandSet::kMaxProgEntries == card::kMaxProgEntries);
static_assert(CCommandSet::kFontBlockSize == card::kFontBlockSize);
static_assert(CCommandSet::kMaxOrderEntries == card::kMaxOrderEntries);
static_assert(CCommandSet::kMaxTextLength == card::kMaxTextLength);
static_assert(palvex::kFrameOverhead == card::kFrameOverhead);
static_assert(palvex::kLastFrameCapacity == static_cast<std::size_t>(card::kCapturedFrameShorts));
static_assert(static_cast<std::size_t>(palvex::kAckCount) + 1 == card::kAckBytes);

namespace {

std::string HexDigits(unsigned value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        out[static_cast<std::size_t>(i)] = kHex[value & 15];
    return out;
}

} // namespace

TEST(CardFacts, SetLedPropertyAcceptsExactlyTheScreensOfTheFacts) {
    CTestControl c;
    for (int num = -1; num <= card::kMaxLedNum + 1; num += card::kMaxLedNum + 1) {
        for (int width = -1; width <= card::kMaxLedWidth + 2; ++width) {
            for (int height = -1; height <= card::kMaxLedHeight + 2; ++height) {
                const bool fits =
                    num >= 0 && num <= card::kMaxLedNum && card::ScreenFits(width, height);
                ASSERT_EQ(c.SetLedProperty(static_cast<short>(num), static_cast<short>(width),
                                           static_cast<short>(height)) != FALSE,
                          fits)
                    << num << " " << width << "x" << height;
                if (fits) {
                    ASSERT_EQ(c.GetSendStepNum(), std::min(height, card::kMaxSendSteps));
                }
            }
        }
    }
    EXPECT_TRUE(c.SetLedProperty(card::kMaxLedNum, card::kMaxLedWidth, card::kMaxLedHeight));
    EXPECT_FALSE(c.SetLedProperty(card::kMaxLedNum + 1, 1, 1));
}

TEST(CardFacts, ThePropertyTextHoldsEachBlockValueWhereTheFactsSayItIs) {
    struct Case {
        unsigned major, minor, year, month, day, width, height, flags;
    };
    const Case cases[] = {
        {2, 0x00, 0x2006, 0x03, 0x05, 512, 64, 0x81},
        {3, 0x57, 0x1999, 0x12, 0x31, 0x123, 0xABC, 0x00},
        {9, 0x09, 0x2038, 0x01, 0x19, 1, 128, 0xFE},
    };
    for (const Case& k : cases) {
        std::array<std::uint8_t, prop::kBlockBytes> block{};
        block[prop::kIdentificationByte] = 0xDD;
        block[prop::kIdentificationByte + 1] = 0xDD;
        block[prop::kVersionByte] = static_cast<std::uint8_t>(0x70 | k.major);
        block[prop::kMinorVersionByte] = static_cast<std::uint8_t>(k.minor);
        block[prop::kYearByte] = static_cast<std::uint8_t>(k.year >> 8);
        block[prop::kYearByte + 1] = static_cast<std::uint8_t>(k.year & 0xFF);
        block[prop::kMonthByte] = static_cast<std::uint8_t>(k.month);
        block[prop::kDayByte] = static_cast<std::uint8_t>(k.day);
        const unsigned size = k.width << 12 | k.height;
        block[prop::kSizeByte] = static_cast<std::uint8_t>(size >> 16);
        block[prop::kSizeByte + 1] = static_cast<std::uint8_t>(size >> 8);
        block[prop::kSizeByte + 2] = static_cast<std::uint8_t>(size);
        block[prop::kFlagsByte] = static_cast<std::uint8_t>(k.flags);

        CTestControl c;
        c.Open();
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        Bytes reply{static_cast<std::uint8_t>(prop::kBlockBytes)};
        reply.insert(reply.end(), block.begin(), block.end());
        c.link.replies.push_back(reply);
        char property[CPalvexCtrl::kPropertyTextCapacity];
        ASSERT_TRUE(c.QKGetProperty(property, sizeof property));
        const std::string text = property;
        ASSERT_GE(text.size(), prop::kTextUsed);

        SCOPED_TRACE(text);
        EXPECT_EQ(text.substr(0, prop::kDTypeIdentification.size()), prop::kDTypeIdentification);
        EXPECT_EQ(text.substr(prop::kVersionAt, 1), HexDigits(k.major, 1));
        EXPECT_EQ(text.substr(prop::kMinorVersionAt, 2), HexDigits(k.minor, 2));
        EXPECT_EQ(text.substr(prop::kYearAt, 4), HexDigits(k.year, 4));
        EXPECT_EQ(text.substr(prop::kMonthAt, 2), HexDigits(k.month, 2));
        EXPECT_EQ(text.substr(prop::kDayAt, 2), HexDigits(k.day, 2));
        EXPECT_EQ(text.substr(prop::kWidthAt, 3), HexDigits(k.width, 3));
        EXPECT_EQ(text.substr(prop::kHeightAt, 3), HexDigits(k.height, 3));
        EXPECT_EQ(text.substr(prop::kFlagsAt, 2), HexDigits(k.flags, 2));

        // GetVersion packs the first minor digit and the flags byte.
        c.link.replies.push_back(reply);
        EXPECT_EQ(c.GetVersion(), static_cast<short>((k.minor >> 4) << 8 | k.flags));
    }
}
