// dravel.exe itself, started as a user starts it, driven from this process
// by the messages a user's clicks send: the warning gate, 查找 on the main
// dialog, 配置 and its message, then the close box. The program makes the
// registered control; the card is the simulated one on COM3 at 9600 bit/s
// (card number 1), which the run script starts (link/wine_links_test.sh).
#include "tests/tool/win32/dialog_test_support_win32.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

using namespace dravel;

namespace tooltest {
namespace {

constexpr auto kStepTimeout = std::chrono::seconds(30);

// Waits until the program's active dialog is the one `isIt` knows.
WindowHandle AwaitDialog(const CStartedProgram& program, bool (*isIt)(WindowHandle)) {
    const auto end = std::chrono::steady_clock::now() + kStepTimeout;
    while (std::chrono::steady_clock::now() < end) {
        WindowHandle dialog = ActiveDialogOfProcess(program.Id());
        if (dialog != nullptr && isIt(dialog)) return dialog;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}

// Waits until the status text is no longer a search text; gives it.
std::string AwaitSearchEnd(WindowHandle main) {
    const auto end = std::chrono::steady_clock::now() + kStepTimeout;
    std::string status;
    while (std::chrono::steady_clock::now() < end) {
        status = DialogItemText(main, IDC_STATUS);
        if (status.find("上查找通讯屏控制卡") == std::string::npos &&
            status != text::kStatusInstructions)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "(still searching) " + status;
}

TEST(DravelExeTest, FindsTheCardOnCom3AndConfiguresItThroughTheRegisteredControl) {
    const char* exe = std::getenv("DRAVEL_EXE");
    ASSERT_NE(exe, nullptr) << "DRAVEL_EXE names dravel.exe";
    ClearToolSettings();
    {
        CSettingsKey key;
        key.OpenKey(kProductKey);
        key.WriteInt(kValueNumber, 1); // the screen list starts at card 1
    }
    CStartedProgram program;
    ASSERT_TRUE(program.Start(PathFromEnvironment("DRAVEL_EXE"))) << "cannot start " << exe;

    WindowHandle warning = AwaitDialog(program, IsWarning);
    ASSERT_NE(warning, nullptr) << "no warning dialog";
    PostClick(warning, IDOK); // "进入"
    WindowHandle main = AwaitDialog(program, IsMain);
    ASSERT_NE(main, nullptr) << "no main dialog";
    EXPECT_EQ(Caption(main), "通讯屏D卡配置程序 V2.0f");
    PostClick(main, IDC_SEARCH);
    EXPECT_EQ(
        AwaitSearchEnd(main),
        "\n在串口Com3(波特率:9600)\n\n找到 D型 2.00 版通讯屏控制卡\n\n生产日期:2006年01月01日");

    PostClick(main, IDC_CONFIGURE);
    WindowHandle box = AwaitDialog(program, IsMessage);
    ASSERT_NE(box, nullptr) << "no message after 配置";
    EXPECT_EQ(MessageBoxText(box), text::kConfigSucceeded);
    PostClick(box, IDOK);
    ASSERT_NE(AwaitDialog(program, IsMain), nullptr);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(10000), 0) << "dravel.exe did not end with status 0";

    EXPECT_EQ(StoredSetting(kValueCommPort), 3);
    EXPECT_EQ(StoredSetting(kValueBaudRate), 9600);
    EXPECT_EQ(StoredSetting(kValueNumber), 1);
    EXPECT_EQ(StoredSetting(kValueWidth), 256);
    EXPECT_EQ(StoredSetting(kValueHeight), 64);
    ClearToolSettings();
}

} // namespace
} // namespace tooltest
