// The dialogs as dravel.exe runs them: the control made by its registered
// class, the card a simulated one on COM3 at 9600 bit/s (card number 1,
// made 2006-01-01), each step a message a user's click or key would send.
// The run script starts the card (link/wine_links_test.sh).
#include "tests/tool/win32/dialog_test_support_win32.h"
#include "tool/card_property.h"
#include "tool/control_site.h"
#include "tool/palvex_proxy.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"
#include "tool/win32/dravel_view_win32.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

using namespace dravel;

namespace tooltest {
namespace {

// Two searches, each passing the refused speeds and a silent one on COM3.
constexpr unsigned kScriptTimeoutMs = 60000;
constexpr int kCardNumber = 1;

// The card's property block, read through a control of its own.
bool ReadCard(CardProperty& card) {
    CPalvex link(CreateLinkControl());
    if (!link.ComInitial(3, 9600, 800)) return false;
    BSTR text = nullptr;
    const bool read = link.SetLedProperty(kCardNumber, 128, 64) && link.QKGetProperty(&text);
    link.QKClose();
    if (!read) return false;
    const std::string property = PropertyTextFromBstr(text);
    link.FreeString(text);
    return ParseCardProperty(property, card);
}

int Bcd(int value) {
    return value / 10 * 16 + value % 10;
}

TEST(DialogsWithTheCardTest, FindConfigureAndForceTheCardOnCom3ThroughTheRegisteredControl) {
    ClearToolSettings();
    {
        CSettingsKey key;
        key.OpenKey(kProductKey);
        key.WriteInt(kValueNumber, kCardNumber); // the screen list starts at card 1
    }
    const win32::CUiThread thread; // COM for the control, as in dravel.exe
    CDravelView view([] { return CreateLinkControl(); });
    WindowHandle main = nullptr;
    std::vector<std::string> found;
    std::vector<std::string> messages;
    bool dataInvertRead = false;
    bool module8x4Read = false;
    const auto searchEnded = [&] {
        if (view.Logic().IsSearching() || !win32::IsItemEnabled(main, IDC_SEARCH)) return false;
        found.push_back(DialogItemText(main, IDC_STATUS));
        return true;
    };
    const auto acknowledge = [&](WindowHandle box) {
        messages.push_back(MessageBoxText(box));
        PostClick(box, IDOK);
    };

    CDialogScript script(kScriptTimeoutMs);
    script.Then(When(IsWarning, [](WindowHandle d) { PostClick(d, IDOK); }))
        .Then(When(IsMain,
                   [&](WindowHandle d) {
                       main = d;
                       PostClick(d, IDC_SEARCH);
                   }))
        .Then(searchEnded)
        .Then([&] { // the found card's settings, changed as a user changes them
            SavePicture(main, "main_dialog_with_card");
            PressButton(main, IDC_DATA_INVERT);
            PressButton(main, IDC_MODULE_8X4);
            PostClick(main, IDC_CONFIGURE);
            return true;
        })
        .Then(When(IsMessage, acknowledge))
        .Then(When(IsMain, [](WindowHandle d) { PostClick(d, IDC_SEARCH); }))
        .Then(searchEnded)
        .Then([&] { // the second search shows what the card now holds
            dataInvertRead = win32::IsChecked(main, IDC_DATA_INVERT);
            module8x4Read = win32::IsChecked(main, IDC_MODULE_8X4);
            PostRightDoubleClick(main);
            return true;
        })
        .Then(When(IsPassword,
                   [](WindowHandle d) {
                       SetDialogItemText(d, IDC_PASSWORD, "tavrinqx");
                       PostClick(d, IDOK);
                   }))
        .Then(When(IsMain, [](WindowHandle d) { PostRightDoubleClick(d); }))
        .Then(When(IsPassword,
                   [](WindowHandle d) {
                       SetDialogItemText(d, IDC_PASSWORD, "TavrinQK");
                       PostClick(d, IDOK);
                   }))
        .Then(When(IsForceSetup,
                   [](WindowHandle d) {
                       SetDialogItemText(d, IDC_FORCE_NUMBER, std::to_string(kCardNumber));
                       PostClick(d, IDOK);
                   }))
        .Then(When(IsMessage, acknowledge))
        .Then(When(IsForceSetup, [](WindowHandle d) { PostClick(d, IDCANCEL); }))
        .Then(When(IsMain, [](WindowHandle d) { PostClick(d, IDCANCEL); }));
    ASSERT_TRUE(script.Run([&] { view.RunModal(); }))
        << "stuck at step " << script.StepsDone()
        << ", the searches ended with: " << ::testing::PrintToString(found);

    const std::string card =
        "\n在串口Com3(波特率:9600)\n\n找到 D型 2.00 版通讯屏控制卡\n\n生产日期:2006年01月01日";
    EXPECT_EQ(found, (std::vector<std::string>{card, card}));
    EXPECT_EQ(messages, (std::vector<std::string>{text::kConfigSucceeded, text::kConfigSucceeded}));
    EXPECT_TRUE(dataInvertRead) << "the configured wiring did not reach the card";
    EXPECT_TRUE(module8x4Read) << "the configured module did not reach the card";
    EXPECT_EQ(StoredSetting(kValueNumber), kCardNumber);
    EXPECT_EQ(StoredSetting(kValueCommPort), 3);
    EXPECT_EQ(StoredSetting(kValueBaudRate), 9600);
    EXPECT_EQ(StoredSetting(kValueWidth), 256);
    EXPECT_EQ(StoredSetting(kValueHeight), 64);
    EXPECT_EQ(StoredSetting(kValueVersion), 112);

    // The forced configuration gave the card today's production date.
    CardProperty after;
    ASSERT_TRUE(ReadCard(after));
    const std::time_t now = std::time(nullptr);
    const std::tm today = *std::localtime(&now);
    EXPECT_EQ(after.year, Bcd((today.tm_year + 1900) / 100) * 256 + Bcd(today.tm_year % 100));
    EXPECT_EQ(after.month, Bcd(today.tm_mon + 1));
    EXPECT_EQ(after.day, Bcd(today.tm_mday));
    ClearToolSettings();
}

} // namespace
} // namespace tooltest
