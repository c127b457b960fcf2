#include "tool/card_property.h"

#include "control/automation/oleauto.h" // the control's allocator, to make a string

#include <gtest/gtest.h>

using namespace dravel;

TEST(CardPropertyTest, DecodesVersionDateSizeModuleAndWiringByPosition) {
    CardProperty card;
    ASSERT_TRUE(ParseCardProperty("DDDD730520060305200040A00000", card));
    EXPECT_EQ(card.version, "3.05");
    EXPECT_EQ(card.year, 0x2006);
    EXPECT_EQ(card.month, 0x03);
    EXPECT_EQ(card.day, 0x05);
    EXPECT_EQ(card.width, 512);
    EXPECT_EQ(card.height, 64);
    EXPECT_EQ(card.color, 0);
    EXPECT_EQ(card.flags, 0xA0);
}

TEST(CardPropertyTest, SplitsTheByteThatHoldsTheLastWidthAndFirstHeightDigit) {
    CardProperty card;
    ASSERT_TRUE(ParseCardProperty("DDDD7200201912310648008100", card));
    EXPECT_EQ(card.width, 0x064);
    EXPECT_EQ(card.height, 0x800);
    EXPECT_EQ(card.color, 1);
    EXPECT_EQ(card.flags, 0x80);
}

TEST(CardPropertyTest, OnlyATextBeginningWithDDDD7AndLongEnoughIsACard) {
    CardProperty card;
    EXPECT_FALSE(ParseCardProperty("DDDD6200200603050100400000", card));
    EXPECT_FALSE(ParseCardProperty("dddd7200200603050100400000", card));
    EXPECT_FALSE(ParseCardProperty("", card));
    EXPECT_FALSE(ParseCardProperty("DDDD7200", card));
    EXPECT_FALSE(ParseCardProperty(std::string("DDDD72002006030501004000").substr(0, 23), card));
    EXPECT_TRUE(ParseCardProperty("DDDD72002006030501004000", card));
}

TEST(CardPropertyTest, HexPairsFollowTheControlsRuleForOtherCharacters) {
    EXPECT_EQ(HexPairAt("A1", 0), 0xA1);
    EXPECT_EQ(HexPairAt("09", 0), 0x09);
    // 'G' counts as 16, lower case as its code minus 0x37: kept to 8 bits.
    EXPECT_EQ(HexPairAt("1G", 0), 0x20);
    EXPECT_EQ(HexPairAt("a0", 0), static_cast<std::uint8_t>(('a' - 0x37) * 16));
}

TEST(CardPropertyTest, TheTextOfAnAutomationStringIsEachCharactersLowByte) {
    const char16_t wide[] = {u'D', u'D', static_cast<char16_t>(0x1234), u'7'};
    BSTR text = SysAllocStringLen(wide, 4);
    EXPECT_EQ(PropertyTextFromBstr(text), std::string("DD\x34" "7"));
    SysFreeString(text);
    EXPECT_EQ(PropertyTextFromBstr(nullptr), "");
}
