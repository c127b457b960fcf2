#include "tests/platform/temp_config_home.h"
#include "tool/settings_key.h"

#include <gtest/gtest.h>

#include <climits>

using namespace dravel;
using testsupport::CTempConfigHome;

namespace {

void StoreText(const char* name, const std::string& text) {
    palvex::reg::CRegKey key;
    ASSERT_EQ(key.Create(palvex::reg::Root::CurrentUser, "SOFTWARE\\Tavrin\\Sarnow"), 0);
    ASSERT_EQ(key.SetStringValue(name, text), 0);
}

int ReadBack(const char* name, int fallback = -1) {
    CSettingsKey key;
    EXPECT_EQ(key.OpenKey(kProductKey), 0);
    return key.ReadInt(name, fallback);
}

} // namespace

TEST(SettingsKeyTest, WritesDecimalTextUnderTavrinSarnowAndReadsItBack) {
    CTempConfigHome home;
    CSettingsKey key;
    ASSERT_EQ(key.OpenKey(kProductKey), 0);
    EXPECT_EQ(key.WriteInt(kValueBaudRate, 57600), 0);
    EXPECT_EQ(key.WriteInt(kValueNumber, -3), 0);
    EXPECT_EQ(key.Close(), 0);
    EXPECT_EQ(testsupport::ReadFile(home.CurrentUserPath("SOFTWARE/Tavrin/Sarnow/BaudRate")), "57600");
    EXPECT_EQ(ReadBack(kValueBaudRate), 57600);
    EXPECT_EQ(ReadBack(kValueNumber), -3);
}

TEST(SettingsKeyTest, AMissingValueOrKeyGivesTheDefault) {
    CTempConfigHome home;
    EXPECT_EQ(ReadBack(kValueCommPort, 1), 1);
    EXPECT_EQ(ReadBack(kValueVersion, 80), 80);
    CSettingsKey unopened;
    EXPECT_EQ(unopened.ReadInt(kValueNumber, 42), 42);
    EXPECT_NE(unopened.WriteInt(kValueNumber, 1), 0);
    EXPECT_EQ(unopened.Close(), 0);
}

TEST(SettingsKeyTest, ReadsLeadingSpacesASignAndDigitsUpToTheFirstOtherCharacter) {
    CTempConfigHome home;
    const std::pair<const char*, int> cases[] = {
        {"  42", 42}, {"+7", 7}, {"-12", -12}, {"12abc", 12}, {"abc", 0}, {"", 0}, {" - 5", 0},
        {"\t9600 baud", 9600}};
    for (const auto& [text, expected] : cases) {
        StoreText(kValueBaudRate, text);
        EXPECT_EQ(ReadBack(kValueBaudRate), expected) << '"' << text << '"';
    }
}

TEST(SettingsKeyTest, NineteenCharactersFitTheReadBufferAndTwentyCountAsUnreadable) {
    CTempConfigHome home;
    StoreText(kValueWidth, std::string(17, '0') + "64");
    EXPECT_EQ(ReadBack(kValueWidth, -1), 64);
    StoreText(kValueWidth, std::string(18, '0') + "64");
    EXPECT_EQ(ReadBack(kValueWidth, -1), -1);
}

TEST(SettingsKeyTest, NumbersBeyondIntSaturateInsteadOfWrapping) {
    CTempConfigHome home;
    StoreText(kValueNumber, "99999999999");
    EXPECT_EQ(ReadBack(kValueNumber), INT_MAX);
    StoreText(kValueNumber, "-99999999999");
    EXPECT_EQ(ReadBack(kValueNumber), INT_MIN);
    EXPECT_EQ(DecimalValue("4294967296"), INT_MAX);
    EXPECT_EQ(DecimalValue("2147483647"), INT_MAX);
    EXPECT_EQ(DecimalValue("-2147483648"), INT_MIN);
}
