// The dialogs on the Windows dialog manager, driven by messages as a user
// would drive them: the warning gate, a search ticking on WM_TIMER, the
// configure button, and the right-button double-click that guards the forced
// configuration. The dialog logic runs over a fake control; its registry is
// the test prefix's own.
#include "tests/tool/fake_control.h"
#include "tests/tool/win32/dialog_test_support_win32.h"
#include "tool/palvex_proxy.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"
#include "tool/win32/dravel_view_win32.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace dravel;

namespace tooltest {
namespace {

constexpr unsigned kScriptTimeoutMs = 20000;

class DialogDrivingTest : public ::testing::Test {
  protected:
    void SetUp() override { ClearToolSettings(); }
    void TearDown() override { ClearToolSettings(); }

    std::shared_ptr<CFakeWorld> m_world = std::make_shared<CFakeWorld>();
};

TEST_F(DialogDrivingTest, SearchFindsTheCardOnTimerTicksAndConfiguresIt) {
    m_world->AddPort(3, FakeCard{9600, 0, PropertyText("305", "20060305", 512, 64, 0xA1)});
    CDravelView view(FakeFactory(m_world));
    std::set<std::string> statuses;
    std::string found;
    std::string message;
    std::string messageCaption;
    WindowHandle main = nullptr;

    CDialogScript script(kScriptTimeoutMs);
    script
        .Then(When(IsWarning,
                   [](WindowHandle d) {
                       SavePicture(d, "warning_dialog");
                       PostClick(d, IDOK); // "进入"
                   }))
        .Then(When(IsMain,
                   [&](WindowHandle d) {
                       main = d;
                       PostClick(d, IDC_SEARCH);
                   }))
        .Then([&] { // watch the status box until the search ends
            statuses.insert(DialogItemText(main, IDC_STATUS));
            return !view.Logic().IsSearching() && win32::IsItemEnabled(main, IDC_SEARCH);
        })
        .Then([&] {
            found = DialogItemText(main, IDC_STATUS);
            SavePicture(main, "main_dialog");
            PostClick(main, IDC_CONFIGURE);
            return true;
        })
        .Then(When(IsMessage,
                   [&](WindowHandle box) {
                       message = MessageBoxText(box);
                       messageCaption = Caption(box);
                       PostClick(box, IDOK);
                   }))
        .Then(When(IsMain, [](WindowHandle d) { PostClick(d, IDCANCEL); }));
    ASSERT_TRUE(script.Run([&] { view.RunModal(); })) << "stuck at step " << script.StepsDone();

    EXPECT_TRUE(statuses.count("\n\n\n在 [Com1] 上查找通讯屏控制卡.../"));
    EXPECT_TRUE(statuses.count("\n\n\n在 [Com3] 上查找通讯屏控制卡...\\"));
    EXPECT_EQ(
        found,
        "\n在串口Com3(波特率:9600)\n\n找到 D型 3.05 版通讯屏控制卡\n\n生产日期:2006年03月05日");
    EXPECT_EQ(messageCaption, text::kConfigureCaption);
    EXPECT_EQ(message, text::kConfigSucceeded);

    const FakeCall* written = m_world->LastCall(kDispQKSetProperty);
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(written->text, "200040A1");
    EXPECT_EQ(StoredSetting("CommPort"), 3);
    EXPECT_EQ(StoredSetting("BaudRate"), 9600);
    EXPECT_EQ(StoredSetting("Width"), 512);
    EXPECT_EQ(StoredSetting("Height"), 64);
    EXPECT_EQ(StoredSetting("Color"), 1);
    EXPECT_EQ(m_world->m_nOpens, m_world->m_nCloses);
}

TEST_F(DialogDrivingTest, RightDoubleClickGuardsTheForcedConfigurationWithThePassword) {
    m_world->AddPort(1, FakeCard{28800, 5, "NOTACARD"});
    CDravelView view(FakeFactory(m_world));
    std::size_t callsAfterWrongPassword = 99;
    std::string message;

    CDialogScript script(kScriptTimeoutMs);
    script.Then(When(IsWarning, [](WindowHandle d) { PostClick(d, IDOK); }))
        .Then(When(IsMain, [](WindowHandle d) { PostRightDoubleClick(d); }))
        .Then(When(IsPassword,
                   [](WindowHandle d) {
                       SetDialogItemText(d, IDC_PASSWORD, "tavrinqx");
                       PostClick(d, IDOK);
                   }))
        .Then(When(IsMain,
                   [&](WindowHandle d) {
                       callsAfterWrongPassword = m_world->m_calls.size();
                       PostRightDoubleClick(d);
                   }))
        .Then(When(IsPassword,
                   [](WindowHandle d) {
                       SavePicture(d, "password_dialog");
                       SetDialogItemText(d, IDC_PASSWORD, "TavrinQK");
                       PostClick(d, IDOK);
                   }))
        .Then(When(IsForceSetup,
                   [](WindowHandle d) {
                       SavePicture(d, "force_setup_dialog");
                       SetDialogItemText(d, IDC_FORCE_NUMBER, "5");
                       PostClick(d, IDOK);
                   }))
        .Then(When(IsMessage,
                   [&](WindowHandle box) {
                       message = MessageBoxText(box);
                       PostClick(box, IDOK);
                   }))
        .Then(When(IsForceSetup, [](WindowHandle d) { PostClick(d, IDCANCEL); }))
        .Then(When(IsMain, [](WindowHandle d) { PostClick(d, IDCANCEL); }));
    ASSERT_TRUE(script.Run([&] { view.RunModal(); })) << "stuck at step " << script.StepsDone();

    EXPECT_EQ(callsAfterWrongPassword, 0u);
    EXPECT_EQ(message, text::kConfigSucceeded);
    const FakeCall* setup = m_world->LastCall(kDispQKSetup);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(setup->text, "DDDD7200");
    const FakeCall* armed = m_world->LastCall(kDispSetLedProperty);
    ASSERT_NE(armed, nullptr);
    EXPECT_EQ(armed->shorts, (std::vector<int>{5, 256, 64}));
    EXPECT_EQ(StoredSetting("Version"), 112);
    EXPECT_EQ(StoredSetting("Number"), 5);
    EXPECT_EQ(StoredSetting("Width"), 256);
}

// Enter acts on the default button: "退出" in the warning (the program
// ends), "查找" in the main dialog (a search starts). Escape closes the main
// dialog.
TEST_F(DialogDrivingTest, EnterAndEscapeFollowTheDefaultButtons) {
    constexpr unsigned kEnter = 0x0D, kEscape = 0x1B;
    {
        CDravelView view(FakeFactory(m_world));
        CDialogScript script(kScriptTimeoutMs);
        script.Then(When(IsWarning, [](WindowHandle d) { PostKey(d, kEnter); }));
        ASSERT_TRUE(script.Run([&] { view.RunModal(); }));
        EXPECT_TRUE(view.Logic().IsWarnPending()) << "the warning was passed";
    }
    CDravelView view(FakeFactory(m_world));
    CDialogScript script(kScriptTimeoutMs);
    script.Then(When(IsWarning, [](WindowHandle d) { PostClick(d, IDOK); }))
        .Then(When(IsMain, [](WindowHandle d) { PostKey(d, kEnter); }))
        .Then([&] { return m_world->Probes().size() == 8; }) // no ports: one probe each
        .Then(When(IsMain, [](WindowHandle d) { PostKey(d, kEscape); }));
    ASSERT_TRUE(script.Run([&] { view.RunModal(); })) << "stuck at step " << script.StepsDone();
    EXPECT_FALSE(view.Logic().IsSearching());
}

} // namespace
} // namespace tooltest
