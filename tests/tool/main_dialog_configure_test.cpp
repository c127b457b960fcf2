#include "tests/tool/main_dialog_fixture.h"
#include "tool/dialog_exchange.h"
#include "tool/palvex_proxy.h"

using namespace dravel;
using namespace tooltest;

namespace {

class ConfigureTest : public MainDialogTest {
protected:
    // A 256 x 64 card, 8 x 8 modules, no wiring options, on COM2 at 57600.
    void FindCard(int number = 0) {
        Store(kValueNumber, number);
        m_world->AddPort(2, FakeCard{57600, number, PropertyText("200", "20060305", 256, 64, 0)});
        Open();
        Search();
        ASSERT_TRUE(m_dlg->CardFound());
        m_world->m_calls.clear();
    }
    void Pick(int id, const std::string& item) {
        m_view.SetListSelection(id, FindListPrefix(m_view, id, item));
    }
};

} // namespace

TEST_F(ConfigureTest, WritesTheExampleSettingsAsTheString200040A1AndRemembersThem) {
    FindCard();
    Pick(IDC_WIDTH, "  512");
    m_view.SetChecked(IDC_MODULE_8X8, false);
    m_view.SetChecked(IDC_MODULE_8X4, true);
    m_view.SetChecked(IDC_LEFT_TO_RIGHT, true);
    m_view.SetChecked(IDC_DATA_INVERT, true);

    EXPECT_TRUE(m_dlg->OnConfigure());
    const FakeCall* open = m_world->LastCall(kDispComInitial);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->shorts, (std::vector<int>{2, static_cast<short>(0xE100), 1000}));
    const FakeCall* arm = m_world->LastCall(kDispSetLedProperty);
    ASSERT_NE(arm, nullptr);
    EXPECT_EQ(arm->shorts, (std::vector<int>{0, 512, 64}));
    const FakeCall* write = m_world->LastCall(kDispQKSetProperty);
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(write->text, "200040A1");
    EXPECT_EQ(m_world->m_calls.back().id, kDispQKClose);

    ASSERT_EQ(m_view.m_messages.size(), 1u);
    EXPECT_EQ(m_view.m_messages[0].text, "配置成功!");
    EXPECT_EQ(m_view.m_messages[0].caption, "用户配置");
    EXPECT_EQ(Stored(kValueWidth), 512);
    EXPECT_EQ(Stored(kValueHeight), 64);
    EXPECT_EQ(Stored(kValueColor), 1);
    EXPECT_EQ(Stored(kValueNumber), 0);
}

TEST_F(ConfigureTest, EachWiringBoxSetsItsOwnBitOfTheFlagsByte) {
    FindCard();
    const std::pair<int, const char*> boxes[] = {
        {IDC_LEFT_TO_RIGHT, "80"},    {IDC_BLANK_INVERT, "40"},    {IDC_DATA_INVERT, "20"},
        {IDC_EVEN_COL_REVERSE, "10"}, {IDC_ODD_COL_REVERSE, "08"}, {IDC_ROW8_REVERSE, "04"},
        {IDC_ROW_SWAP, "02"}};
    for (const auto& [id, hex] : boxes) {
        m_view.SetChecked(id, true);
        ASSERT_TRUE(m_dlg->OnConfigure());
        EXPECT_EQ(m_world->LastCall(kDispQKSetProperty)->text, std::string("100040") + hex) << id;
        m_view.SetChecked(id, false);
    }
}

TEST_F(ConfigureTest, WithTheCardGoneItFailsClosesTheLinkAndRemembersNothing) {
    FindCard();
    Pick(IDC_WIDTH, "  128");
    m_world->Card(2)->answers = false;
    EXPECT_FALSE(m_dlg->OnConfigure());
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
    EXPECT_EQ(m_world->m_nOpens, m_world->m_nCloses);
    EXPECT_EQ(Stored(kValueWidth), 256);
}

TEST_F(ConfigureTest, APortThatCannotBeOpenedFailsWithoutArmingTheControl) {
    FindCard();
    m_world = std::make_shared<CFakeWorld>(); // the port is gone: a fresh world without it
    m_dlg = std::make_unique<CDravelDlg>(m_view, FakeFactory(m_world)());
    m_dlg->m_nPort = 2;
    m_dlg->m_nBaud = 57600;
    EXPECT_FALSE(m_dlg->OnConfigure());
    EXPECT_EQ(m_world->CountCalls(kDispSetLedProperty), 0);
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
}

TEST_F(ConfigureTest, AWidthListWithoutSelectionGivesWidthZeroWhichTheControlRefuses) {
    FindCard();
    m_view.SetListSelection(IDC_WIDTH, -1);
    EXPECT_FALSE(m_dlg->OnConfigure());
    EXPECT_EQ(m_world->LastCall(kDispSetLedProperty)->shorts[1], 0);
    EXPECT_EQ(m_world->CountCalls(kDispQKSetProperty), 0);
    EXPECT_EQ(m_world->m_calls.back().id, kDispQKClose);
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
}

TEST_F(ConfigureTest, ConfiguringTwiceSendsTheSameStringTwiceAndSucceedsTwice) {
    FindCard();
    EXPECT_TRUE(m_dlg->OnConfigure());
    EXPECT_TRUE(m_dlg->OnConfigure());
    ASSERT_EQ(m_world->CountCalls(kDispQKSetProperty), 2);
    EXPECT_EQ(m_world->m_calls[2].text, "10004000");
    EXPECT_EQ(m_world->LastCall(kDispQKSetProperty)->text, "10004000");
    EXPECT_EQ(m_view.m_messages.size(), 2u);
}

TEST_F(ConfigureTest, UsesTheScreenNumberSelectedAtTheTimeOfTheClick) {
    FindCard(3);
    m_view.SetListSelection(IDC_SCREEN, 9);
    m_dlg->OnConfigure();
    EXPECT_EQ(m_world->LastCall(kDispSetLedProperty)->shorts[0], 9);
    // The card answers to 3 only, so number 9 gets no acknowledgement.
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
    EXPECT_EQ(Stored(kValueNumber), 3);
}

TEST_F(ConfigureTest, WithNoModuleChosenNothingIsSentAndTheResultIsFailure) {
    FindCard();
    m_view.SetChecked(IDC_MODULE_8X8, false);
    m_view.SetChecked(IDC_MODULE_8X4, false);
    EXPECT_FALSE(m_dlg->OnConfigure());
    EXPECT_EQ(m_world->CountCalls(kDispComInitial), 0);
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
}
