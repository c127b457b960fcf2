// The dialogs' logic with the real link control against the simulated card.
#include "sim/card_server.h"
#include "tests/platform/temp_config_home.h"
#include "tool/dialog_exchange.h"
#include "tool/dravel_dlg.h"
#include "tool/force_setup_dlg.h"
#include "tool/memory_view.h"
#include "tool/resources/resource_ids.h"
#include "tool/simulation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

using namespace dravel;

namespace {

std::unique_ptr<CSimulatedCard> Serve(int port, unsigned baud, int number,
                                      const std::string& stateFile = {}) {
    SimulationOptions options;
    options.port = port;
    options.baud = baud;
    options.cardNumber = number;
    options.stateFile = stateFile;
    auto card = std::make_unique<CSimulatedCard>(options);
    std::string error;
    EXPECT_TRUE(card->Start(error)) << error;
    return card;
}

// Runs a whole search; true when a card was found.
bool SearchWith(CMemoryView& view, CDravelDlg& dlg) {
    view.m_onWarning = [] { return true; };
    dlg.OnInitDialog();
    dlg.OnTimer();
    dlg.OnSearch();
    for (int tick = 0; dlg.IsSearching() && tick < 50; ++tick) dlg.OnTimer();
    return dlg.CardFound();
}

} // namespace

TEST(SimulatedCardTest, TheSearchFindsTheCardAndConfigureRewritesItsScreenSettings) {
    testsupport::CTempConfigHome home;
    auto card = Serve(3, 28800, 0);
    CMemoryView view;
    CDravelDlg dlg(view, CreateLinkControl());
    ASSERT_TRUE(SearchWith(view, dlg));
    EXPECT_EQ(dlg.m_nPort, 3);
    EXPECT_EQ(view.GetItemText(IDC_STATUS),
              "\n在串口Com3(波特率:28800)\n\n找到 D型 2.00 版通讯屏控制卡\n\n生产日期:2006年01月01日");

    view.SetListSelection(IDC_WIDTH, FindListPrefix(view, IDC_WIDTH, "  512"));
    view.SetChecked(IDC_MODULE_8X8, false);
    view.SetChecked(IDC_MODULE_8X4, true);
    view.SetChecked(IDC_LEFT_TO_RIGHT, true);
    view.SetChecked(IDC_DATA_INVERT, true);
    ASSERT_TRUE(dlg.OnConfigure());
    const auto block = card->Server().PropertyBlock();
    EXPECT_EQ(block[8], 0x20);
    EXPECT_EQ(block[9], 0x00);
    EXPECT_EQ(block[10], 0x40);
    EXPECT_EQ(block[11], 0xA1);
}

TEST(SimulatedCardTest, ForcedConfigurationMakesAForeignCardFindableWithTodaysDate) {
    testsupport::CTempConfigHome home;
    const std::string state = home.Path() + "/card.state";
    { std::ofstream(state) << "11223344200501011000400000\n"; }
    auto card = Serve(2, 28800, 4, state);
    ASSERT_TRUE(card->Server().StateLoaded());

    CMemoryView forceView;
    CForceSetupDlg force(forceView, CreateLinkControl());
    force.OnInitDialog();
    forceView.SetListSelection(IDC_FORCE_PORT, 1);
    forceView.SetListSelection(IDC_FORCE_BAUD, 2); // 28800
    forceView.SetItemText(IDC_FORCE_NUMBER, "4");
    ASSERT_TRUE(force.OnOK()) << forceView.m_messages.back().text;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[96];
    std::snprintf(date, sizeof date, "生产日期:%04d年%02d月%02d日", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday);

    CMemoryView view;
    CDravelDlg dlg(view, CreateLinkControl());
    ASSERT_TRUE(SearchWith(view, dlg)); // the remembered number 4 is used
    EXPECT_EQ(dlg.m_szVersion, "2.00");
    EXPECT_NE(view.GetItemText(IDC_STATUS).find(date), std::string::npos)
        << view.GetItemText(IDC_STATUS);
}

TEST(SimulatedCardTest, TheSimulationMapsEveryPortAndPutsTheEnvironmentBack) {
    ::setenv("PALVEX_COM5", "/dev/ttyUSB9", 1);
    ::unsetenv("PALVEX_COM3");
    std::string pty;
    {
        auto card = Serve(3, 9600, 0);
        pty = std::getenv("PALVEX_COM3");
        EXPECT_TRUE(std::filesystem::is_symlink(pty));
        EXPECT_FALSE(std::filesystem::exists(std::getenv("PALVEX_COM5")));
        EXPECT_FALSE(std::filesystem::exists(std::getenv("PALVEX_COM1")));
    }
    EXPECT_EQ(std::getenv("PALVEX_COM3"), nullptr);
    EXPECT_STREQ(std::getenv("PALVEX_COM5"), "/dev/ttyUSB9");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(pty).parent_path()));
    ::unsetenv("PALVEX_COM5");
}
