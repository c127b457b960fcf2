#include "tests/platform/temp_config_home.h"
#include "tests/tool/fake_control.h"
#include "tool/force_setup_dlg.h"
#include "tool/memory_view.h"
#include "tool/palvex_proxy.h"
#include "tool/password_dlg.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <gtest/gtest.h>

using namespace dravel;
using namespace tooltest;

namespace {

class ForceSetupTest : public ::testing::Test {
protected:
    CForceSetupDlg& Open() {
        m_dlg = std::make_unique<CForceSetupDlg>(m_view, FakeFactory(m_world)());
        m_dlg->OnInitDialog();
        return *m_dlg;
    }
    void Store(const char* name, const std::string& text) {
        palvex::reg::CRegKey key;
        ASSERT_EQ(key.Create(palvex::reg::Root::CurrentUser, "SOFTWARE\\Tavrin\\Sarnow"), 0);
        ASSERT_EQ(key.SetStringValue(name, text), 0);
    }
    int Stored(const char* name) {
        CSettingsKey key;
        key.OpenKey(kProductKey);
        return key.ReadInt(name, -12345);
    }
    std::string SelectedText(int id) { return m_view.ListItem(id, m_view.ListSelection(id)); }

    testsupport::CTempConfigHome m_home;
    std::shared_ptr<CFakeWorld> m_world = std::make_shared<CFakeWorld>();
    CMemoryView m_view;
    std::unique_ptr<CForceSetupDlg> m_dlg;
};

} // namespace

TEST_F(ForceSetupTest, OnAFirstRunItShowsCom1At28800AndScreenNumberZero) {
    Open();
    EXPECT_EQ(SelectedText(IDC_FORCE_PORT), " Com1 ");
    EXPECT_EQ(m_view.ListCount(IDC_FORCE_PORT), 8);
    EXPECT_EQ(SelectedText(IDC_FORCE_BAUD), " 28800");
    EXPECT_EQ(m_view.GetItemText(IDC_FORCE_NUMBER), "0");
    EXPECT_EQ(SelectedText(IDC_FORCE_TYPE), "  D型");
    EXPECT_FALSE(m_view.IsItemEnabled(IDC_FORCE_TYPE));
    EXPECT_EQ(SelectedText(IDC_FORCE_VERSION), " 2.xx  ");
    EXPECT_FALSE(m_view.IsItemEnabled(IDC_FORCE_VERSION));
    EXPECT_EQ(m_view.m_nFocus, IDC_FORCE_NUMBER);
}

TEST_F(ForceSetupTest, StartsFromTheRememberedPortSpeedAndNumber) {
    Store(kValueCommPort, "4");
    Store(kValueBaudRate, "9600");
    Store(kValueNumber, " 12");
    Open();
    EXPECT_EQ(SelectedText(IDC_FORCE_PORT), " Com4 ");
    EXPECT_EQ(SelectedText(IDC_FORCE_BAUD), "  9600");
    EXPECT_EQ(m_view.GetItemText(IDC_FORCE_NUMBER), "12");
}

TEST_F(ForceSetupTest, WritesTheDTypeIdentificationAndRecordsTheFixedSettings) {
    m_world->AddPort(3, FakeCard{38400, 6, "ignored"});
    Open();
    m_view.SetListSelection(IDC_FORCE_PORT, 2);
    m_view.SetListSelection(IDC_FORCE_BAUD, 3);
    m_view.SetItemText(IDC_FORCE_NUMBER, "6");
    EXPECT_TRUE(m_dlg->OnOK());

    EXPECT_EQ(m_world->LastCall(kDispComInitial)->shorts,
              (std::vector<int>{3, static_cast<short>(38400), 1000}));
    EXPECT_EQ(m_world->LastCall(kDispSetLedProperty)->shorts, (std::vector<int>{6, 256, 64}));
    EXPECT_EQ(m_world->LastCall(kDispQKSetup)->text, "DDDD7200");
    EXPECT_EQ(m_world->m_calls.back().id, kDispQKClose);
    EXPECT_EQ(m_view.m_messages.back().text, "配置成功!");
    EXPECT_EQ(m_view.m_messages.back().caption, "强行配置");
    EXPECT_EQ(Stored(kValueCommPort), 3);
    EXPECT_EQ(Stored(kValueBaudRate), 38400);
    EXPECT_EQ(Stored(kValueVersion), 112);
    EXPECT_EQ(Stored(kValueNumber), 6);
    EXPECT_EQ(Stored(kValueWidth), 256);
    EXPECT_EQ(Stored(kValueHeight), 64);
    EXPECT_EQ(Stored(kValueColor), 0);
    EXPECT_FALSE(m_view.m_nEndResult.has_value()) << "the dialog stays open";
}

TEST_F(ForceSetupTest, PressingOkTwiceWritesTheCardTwice) {
    m_world->AddPort(1, FakeCard{28800, 0, ""});
    Open();
    EXPECT_TRUE(m_dlg->OnOK());
    EXPECT_TRUE(m_dlg->OnOK());
    EXPECT_EQ(m_world->CountCalls(kDispQKSetup), 2);
    EXPECT_EQ(m_world->m_nOpens, 2);
    EXPECT_EQ(m_world->m_nCloses, 2);
}

TEST_F(ForceSetupTest, ScreenNumber40PassesTheFieldButFailsWithoutSendingAnything) {
    m_world->AddPort(1, FakeCard{28800, 0, ""});
    Open();
    m_view.SetItemText(IDC_FORCE_NUMBER, "40");
    EXPECT_FALSE(m_dlg->OnOK());
    EXPECT_EQ(m_world->CountCalls(kDispQKSetup), 0);
    EXPECT_EQ(m_world->m_calls.back().id, kDispQKClose);
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
    EXPECT_EQ(Stored(kValueVersion), -12345) << "nothing saved";
}

TEST_F(ForceSetupTest, AnEmptyOrNonNumericFieldAsksForAPositiveIntegerAndTouchesNoPort) {
    m_world->AddPort(1, FakeCard{28800, 0, ""});
    Open();
    for (const char* entry : {"", "  ", "1 2", "-1"}) {
        m_view.SetItemText(IDC_FORCE_NUMBER, entry);
        m_view.m_nFocus = 0;
        EXPECT_FALSE(m_dlg->OnOK()) << entry;
        EXPECT_EQ(m_view.m_messages.back().text, "“请填入一个正整数。”") << entry;
        EXPECT_EQ(m_view.m_messages.back().icon, MessageIcon::Exclamation);
        EXPECT_EQ(m_view.m_nFocus, IDC_FORCE_NUMBER);
    }
    EXPECT_TRUE(m_world->m_calls.empty());
}

TEST_F(ForceSetupTest, ANumberAbove63AsksForTheRangeEvenWhenItOverflows) {
    Open();
    for (const char* entry : {"64", "70", "4294967296", "99999999999999999999999"}) {
        m_view.SetItemText(IDC_FORCE_NUMBER, entry);
        EXPECT_FALSE(m_dlg->OnOK()) << entry;
        EXPECT_EQ(m_view.m_messages.back().text, "“请填入一个在0和63之间的整数。”") << entry;
    }
    EXPECT_TRUE(m_world->m_calls.empty());
    m_view.SetItemText(IDC_FORCE_NUMBER, " 63 ");
    m_dlg->OnOK();
    EXPECT_EQ(m_dlg->m_nNumber, 63u);
}

TEST_F(ForceSetupTest, AStoredSpeedOtherThanTheFiveLeavesNoSelectionAndOkFails) {
    Store(kValueBaudRate, "19200");
    m_world->AddPort(1, FakeCard{28800, 0, ""});
    Open();
    EXPECT_EQ(m_view.ListSelection(IDC_FORCE_BAUD), -1);
    EXPECT_FALSE(m_dlg->OnOK());
    EXPECT_EQ(m_world->LastCall(kDispComInitial)->shorts[1], 0);
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
}

TEST_F(ForceSetupTest, AStoredPortOutside1To8LeavesNoSelectionAndOkAsksForPortZero) {
    Store(kValueCommPort, "9");
    m_world->AddPort(1, FakeCard{28800, 0, ""});
    Open();
    EXPECT_EQ(m_view.ListSelection(IDC_FORCE_PORT), -1);
    EXPECT_FALSE(m_dlg->OnOK());
    EXPECT_EQ(m_world->LastCall(kDispComInitial)->shorts[0], 0);
    EXPECT_EQ(m_world->CountCalls(kDispQKSetup), 0);
    EXPECT_EQ(m_view.m_messages.back().text, "配置失败!");
}

TEST_F(ForceSetupTest, CancelEndsTheDialog) {
    Open();
    m_dlg->OnCancel();
    EXPECT_EQ(m_view.m_nEndResult, IDCANCEL);
}

TEST(PasswordTest, AcceptsThePasswordInAnyCaseAndNothingElse) {
    EXPECT_TRUE(CPasswordDlg::IsPassword("TAVRINQK"));
    EXPECT_TRUE(CPasswordDlg::IsPassword("tavrinqk"));
    EXPECT_TRUE(CPasswordDlg::IsPassword("TavRinQk"));
    EXPECT_FALSE(CPasswordDlg::IsPassword("TAVRINQKX")); // nine letters beginning with it
    EXPECT_FALSE(CPasswordDlg::IsPassword("TAVRINQ"));
    EXPECT_FALSE(CPasswordDlg::IsPassword(""));
    EXPECT_FALSE(CPasswordDlg::IsPassword("TAVRINQ\xEB"));
}

TEST(PasswordTest, OkEndsWithOneForTheRightEntryAndZeroOtherwiseWithoutAMessage) {
    CMemoryView view;
    CPasswordDlg dlg(view);
    dlg.OnInitDialog();
    EXPECT_EQ(view.m_nFocus, IDC_PASSWORD);
    view.SetItemText(IDC_PASSWORD, "tavrinqk");
    dlg.OnOK();
    EXPECT_EQ(view.m_nEndResult, IDOK);
    view.SetItemText(IDC_PASSWORD, "guess");
    dlg.OnOK();
    EXPECT_EQ(view.m_nEndResult, 0);
    dlg.OnCancel();
    EXPECT_EQ(view.m_nEndResult, 0);
    EXPECT_TRUE(view.m_messages.empty());
}
