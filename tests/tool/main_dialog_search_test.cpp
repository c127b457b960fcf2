#include "tests/tool/main_dialog_fixture.h"
#include "tool/palvex_proxy.h"
#include "tool/resources/dravel_texts.h"

using namespace dravel;
using namespace tooltest;

namespace {

std::string Searching(int port, char spinner) {
    std::string text = "\n\n\n在 [Com" + std::to_string(port) + "] 上查找通讯屏控制卡...";
    return text + spinner;
}

const int kSettingIds[] = {IDC_WIDTH,        IDC_HEIGHT,           IDC_MODULE_8X8,
                           IDC_MODULE_8X4,   IDC_LEFT_TO_RIGHT,    IDC_DATA_INVERT,
                           IDC_BLANK_INVERT, IDC_EVEN_COL_REVERSE, IDC_ODD_COL_REVERSE,
                           IDC_ROW8_REVERSE, IDC_ROW_SWAP,         IDC_CONFIGURE};

} // namespace

TEST_F(MainDialogTest, StartsWithThirtyTwoScreenNumbersTheRememberedOneSelectedAndTheTimerRunning) {
    Store(kValueNumber, 7);
    m_dlg = std::make_unique<CDravelDlg>(m_view, FakeFactory(m_world)());
    m_dlg->OnInitDialog();
    EXPECT_EQ(m_view.m_strCaption, "通讯屏D卡配置程序 V2.0f");
    ASSERT_EQ(m_view.ListCount(IDC_SCREEN), 32);
    EXPECT_EQ(m_view.ListItem(IDC_SCREEN, 0), "   0");
    EXPECT_EQ(m_view.ListItem(IDC_SCREEN, 31), "  31");
    EXPECT_EQ(m_view.ListSelection(IDC_SCREEN), 7);
    EXPECT_EQ(m_view.m_nRunningTimer, kSearchTimerId);
    EXPECT_EQ(m_view.m_nFocus, IDC_SEARCH);
    EXPECT_EQ(m_view.GetItemText(IDC_STATUS), text::kStatusInstructions);
    EXPECT_TRUE(m_dlg->IsWarnPending());
}

TEST_F(MainDialogTest, OnAFirstRunScreenNumberZeroIsSelected) {
    Open();
    EXPECT_EQ(m_view.ListSelection(IDC_SCREEN), 0);
}

TEST_F(MainDialogTest, TheWarningIsShownOnceWithTheTimerStoppedAndAcceptingRestartsIt) {
    m_dlg = std::make_unique<CDravelDlg>(m_view, FakeFactory(m_world)());
    m_dlg->OnInitDialog();
    m_dlg->OnSearch(); // pressed before the gate: the gate still comes first
    unsigned timerDuringWarning = 99;
    m_view.m_onWarning = [&] {
        timerDuringWarning = m_view.m_nRunningTimer;
        return true;
    };
    m_dlg->OnTimer();
    EXPECT_EQ(timerDuringWarning, 0u);
    EXPECT_TRUE(m_world->m_calls.empty()) << "the gate's tick must not probe";
    EXPECT_FALSE(m_dlg->IsWarnPending());
    EXPECT_EQ(m_view.m_nRunningTimer, kSearchTimerId);
    for (int i = 0; i < 20; ++i)
        m_dlg->OnTimer();
    EXPECT_EQ(m_view.m_nWarningsShown, 1);
    EXPECT_FALSE(m_view.m_bCloseRequested);
}

TEST_F(MainDialogTest, DecliningTheWarningAsksToCloseAndLeavesNoTimerRunning) {
    m_view.m_onWarning = [] { return false; };
    m_dlg = std::make_unique<CDravelDlg>(m_view, FakeFactory(m_world)());
    m_dlg->OnInitDialog();
    m_dlg->OnTimer();
    EXPECT_TRUE(m_view.m_bCloseRequested);
    EXPECT_EQ(m_view.m_nRunningTimer, 0u);
    EXPECT_EQ(m_view.m_nTimerStarts, 1);
}

TEST_F(MainDialogTest, ClosingStopsTheSearchTimer) {
    Open();
    ASSERT_NE(m_view.m_nRunningTimer, 0u);
    m_dlg->OnClose();
    EXPECT_EQ(m_view.m_nRunningTimer, 0u);
}

TEST_F(MainDialogTest, WithNoSerialPortsASearchTakesEightTicksAndEndsWithTheInstructions) {
    Open();
    EXPECT_EQ(Search(), 8);
    const std::vector<std::pair<int, unsigned>> expected = {{1, 28800}, {2, 28800}, {3, 28800},
                                                            {4, 28800}, {5, 28800}, {6, 28800},
                                                            {7, 28800}, {8, 28800}};
    EXPECT_EQ(m_world->Probes(), expected);
    EXPECT_FALSE(m_dlg->CardFound());
    EXPECT_EQ(m_view.GetItemText(IDC_STATUS), text::kStatusInstructions);
    EXPECT_TRUE(m_view.IsItemEnabled(IDC_SEARCH));
    EXPECT_FALSE(m_view.IsItemEnabled(IDC_CONFIGURE));
    EXPECT_TRUE(m_view.m_messages.empty());
}

TEST_F(MainDialogTest, FindsCardOnCom3At9600OnTheFourteenthProbe) {
    m_world->AddPort(1);
    m_world->AddPort(2);
    m_world->AddPort(3, FakeCard{9600, 0, PropertyText("200", "20060305", 256, 64, 0x00)});
    Open();
    EXPECT_EQ(Search(), 14);
    const std::vector<std::pair<int, unsigned>> probes = m_world->Probes();
    ASSERT_EQ(probes.size(), 14u);
    const std::vector<std::pair<int, unsigned>> firstPort = {
        {1, 28800}, {1, 38400}, {1, 57600}, {1, 9600}, {1, 14400}};
    EXPECT_EQ(std::vector(probes.begin(), probes.begin() + 5), firstPort);
    EXPECT_EQ(probes[5], (std::pair<int, unsigned>{2, 28800}));
    EXPECT_EQ(probes[13], (std::pair<int, unsigned>{3, 9600}));
    EXPECT_TRUE(m_dlg->CardFound());
    EXPECT_EQ(
        m_view.GetItemText(IDC_STATUS),
        "\n在串口Com3(波特率:9600)\n\n找到 D型 2.00 版通讯屏控制卡\n\n生产日期:2006年03月05日");
    EXPECT_EQ(m_world->m_nOpens, m_world->m_nCloses) << "every opened link is closed";
    for (const FakeCall& call : m_world->m_calls) {
        if (call.id == kDispComInitial) {
            EXPECT_EQ(call.shorts.at(2), 800) << "every probe waits 800 ms";
        }
    }
}

// An adapter that cannot run at some speeds still opens at the others: the
// search tries its next speeds instead of passing the port over, and a port
// that takes none of them is left after its five probes.
TEST_F(MainDialogTest, APortThatRefusesOnlyASpeedIsProbedAtItsNextSpeeds) {
    m_world->AddPort(2);
    for (unsigned baud : {9600u, 14400u, 28800u, 38400u, 57600u})
        m_world->RefuseSpeed(2, baud);
    m_world->AddPort(3, FakeCard{9600, 0, PropertyText("200", "20060305", 256, 64, 0x00)});
    m_world->RefuseSpeed(3, 28800);
    m_world->RefuseSpeed(3, 14400);
    Open();
    Search();
    const std::vector<std::pair<int, unsigned>> expected = {
        {1, 28800}, {2, 28800}, {2, 38400}, {2, 57600}, {2, 9600},
        {2, 14400}, {3, 28800}, {3, 38400}, {3, 57600}, {3, 9600}};
    EXPECT_EQ(m_world->Probes(), expected);
    EXPECT_TRUE(m_dlg->CardFound());
    EXPECT_EQ(Stored(kValueBaudRate), 9600);
    EXPECT_EQ(m_world->m_nOpens, m_world->m_nCloses);
}

TEST_F(MainDialogTest, EveryProbeThatOpenedAPortClosesItAgainWhateverTheOutcome) {
    m_world->AddPort(2);                                                     // silent
    m_world->AddPort(4, FakeCard{28800, 0, "0123456789ABCDEF0123456789AB"}); // not a D card
    m_world->AddPort(6, FakeCard{14400, 0, PropertyText("200", "20060305", 256, 64, 0)});
    Open();
    Search();
    EXPECT_TRUE(m_dlg->CardFound());
    EXPECT_EQ(m_world->m_nOpens, 15); // five speeds each on COM2, COM4 and COM6
    EXPECT_EQ(m_world->m_nOpens, m_world->m_nCloses);
    EXPECT_EQ(m_world->Probes().back(), (std::pair<int, unsigned>{6, 14400}));
}

TEST_F(MainDialogTest, AStoredNumberAbove31MakesEveryPortUnusableAndTheSearchEndsAfterEightTicks) {
    Store(kValueNumber, 40);
    m_world->AddPort(1, FakeCard{28800, 0, PropertyText("200", "20060305", 256, 64, 0)});
    Open();
    EXPECT_EQ(m_view.ListSelection(IDC_SCREEN), -1);
    EXPECT_EQ(Search(), 8);
    EXPECT_EQ(m_dlg->m_nNumber, 255);
    EXPECT_EQ(m_world->CountCalls(kDispQKGetProperty), 0);
    EXPECT_EQ(m_world->m_nOpens, m_world->m_nCloses);
}

TEST_F(MainDialogTest, StatusAlternatesSlashAndBackslashAndALaterSearchContinuesTheTurn) {
    m_world->AddPort(3, FakeCard{28800, 0, PropertyText("200", "20060305", 256, 64, 0)});
    Open();
    m_statuses.clear();
    EXPECT_EQ(Search(), 3);
    ASSERT_EQ(m_statuses.size(), 4u);
    EXPECT_EQ(m_statuses[0], Searching(1, '/'));
    EXPECT_EQ(m_statuses[1], Searching(2, '\\'));
    EXPECT_EQ(m_statuses[2], Searching(3, '/'));

    m_statuses.clear();
    Search();
    EXPECT_EQ(m_statuses[0], Searching(1, '\\'));
    EXPECT_EQ(m_statuses[1], Searching(2, '/'));
}

TEST_F(MainDialogTest, SearchingDisablesTheSettingsAndTheSearchButtonButNeverTheScreenList) {
    m_world->AddPort(1, FakeCard{28800, 0, PropertyText("200", "20060305", 256, 64, 0)});
    Open();
    Search();
    for (int id : kSettingIds)
        EXPECT_TRUE(m_view.IsItemEnabled(id)) << id;
    m_dlg->OnSearch();
    for (int id : kSettingIds)
        EXPECT_FALSE(m_view.IsItemEnabled(id)) << id;
    EXPECT_FALSE(m_view.IsItemEnabled(IDC_SEARCH));
    EXPECT_TRUE(m_view.IsItemEnabled(IDC_SCREEN));
}

TEST_F(MainDialogTest, AFoundCardIsRememberedAndItsSettingsFillTheControls) {
    Store(kValueNumber, 5);
    m_world->AddPort(2, FakeCard{38400, 5, PropertyText("305", "20071231", 320, 32, 0xA5)});
    Open();
    Search();
    ASSERT_TRUE(m_dlg->CardFound());
    EXPECT_EQ(m_dlg->m_szVersion, "3.05");
    EXPECT_EQ(Stored(kValueNumber), 5);
    EXPECT_EQ(Stored(kValueCommPort), 2);
    EXPECT_EQ(Stored(kValueBaudRate), 38400);
    EXPECT_EQ(Stored(kValueWidth), 320);
    EXPECT_EQ(Stored(kValueHeight), 32);
    EXPECT_EQ(Stored(kValueColor), 1);

    EXPECT_EQ(m_view.ListItem(IDC_WIDTH, m_view.ListSelection(IDC_WIDTH)), "  320");
    EXPECT_EQ(m_view.ListItem(IDC_HEIGHT, m_view.ListSelection(IDC_HEIGHT)), "   32");
    EXPECT_EQ(m_view.ListCount(IDC_WIDTH), 64);
    EXPECT_EQ(m_view.ListCount(IDC_HEIGHT), 16);
    EXPECT_FALSE(m_view.IsChecked(IDC_MODULE_8X8));
    EXPECT_TRUE(m_view.IsChecked(IDC_MODULE_8X4));
    // 0xA4: bits 7, 5 and 2.
    EXPECT_TRUE(m_view.IsChecked(IDC_LEFT_TO_RIGHT));
    EXPECT_FALSE(m_view.IsChecked(IDC_BLANK_INVERT));
    EXPECT_TRUE(m_view.IsChecked(IDC_DATA_INVERT));
    EXPECT_FALSE(m_view.IsChecked(IDC_EVEN_COL_REVERSE));
    EXPECT_FALSE(m_view.IsChecked(IDC_ODD_COL_REVERSE));
    EXPECT_TRUE(m_view.IsChecked(IDC_ROW8_REVERSE));
    EXPECT_FALSE(m_view.IsChecked(IDC_ROW_SWAP));
}

TEST_F(MainDialogTest, AWidthOf100LeavesNoSelectionAndAWidthOf600IsShownAs512) {
    m_world->AddPort(1, FakeCard{28800, 0, PropertyText("200", "20060305", 100, 200, 0)});
    Open();
    Search();
    EXPECT_EQ(m_view.ListSelection(IDC_WIDTH), -1);
    EXPECT_EQ(m_view.ListItem(IDC_HEIGHT, m_view.ListSelection(IDC_HEIGHT)), "  128");
    EXPECT_EQ(m_dlg->m_nHeight, 128);

    m_world->Card(1)->property = PropertyText("200", "20060305", 600, 64, 0);
    Search();
    EXPECT_EQ(m_view.ListItem(IDC_WIDTH, m_view.ListSelection(IDC_WIDTH)), "  512");
}

TEST_F(MainDialogTest, ATextNotBeginningWithDDDD7OrCutShortIsNotACard) {
    m_world->AddPort(1, FakeCard{28800, 0, "DDDD6200200603050100400000"});
    m_world->AddPort(2, FakeCard{28800, 0, "DDDD7200"});
    m_world->AddPort(3, FakeCard{28800, 0, ""});
    Open();
    EXPECT_EQ(Search(), 20); // five speeds on COM1 to COM3, one probe on COM4 to COM8
    EXPECT_FALSE(m_dlg->CardFound());
    EXPECT_EQ(m_world->m_nOpens, m_world->m_nCloses);
}

// The control module allocates the property text; the tool must give it back
// through that module, not through a free function of its own.
TEST_F(MainDialogTest, EveryPropertyTextIsFreedThroughTheControlThatMadeIt) {
    // COM1 answers at 28800 with a text that is not a D card's, COM2 with a
    // D card's: one text that is dropped, one that is read.
    m_world->AddPort(1, FakeCard{28800, 0, "DDDD6200200603050100400000"});
    m_world->AddPort(2, FakeCard{28800, 0, PropertyText("200", "20060305", 256, 64, 0)});
    Open();
    Search();
    ASSERT_TRUE(m_dlg->CardFound());
    EXPECT_EQ(m_world->m_nStringsMade, 2);
    EXPECT_EQ(m_world->m_nStringsFreedByControl, 2);
    EXPECT_TRUE(m_world->m_liveStrings.empty())
        << m_world->m_liveStrings.size() << " not freed by the control";
}

TEST_F(MainDialogTest, ClickingAModuleButtonTakesItAsTheModuleType) {
    m_world->AddPort(1, FakeCard{28800, 0, PropertyText("200", "20060305", 256, 64, 0)});
    Open();
    Search();
    EXPECT_EQ(m_dlg->m_nColor, 0);
    m_view.SetChecked(IDC_MODULE_8X8, false);
    m_view.SetChecked(IDC_MODULE_8X4, true);
    m_dlg->OnModuleClicked();
    EXPECT_EQ(m_dlg->m_nColor, 1);
}

TEST_F(MainDialogTest, ARightDoubleClickOpensTheForcedDialogOnlyAfterTheRightPassword) {
    Open();
    int forced = 0;
    bool passwordOk = false;
    m_view.m_onPassword = [&] { return passwordOk; };
    m_view.m_onForceSetup = [&] { ++forced; };
    m_dlg->OnRButtonDblClk();
    EXPECT_EQ(forced, 0);
    passwordOk = true;
    m_dlg->OnRButtonDblClk();
    EXPECT_EQ(forced, 1);
}
