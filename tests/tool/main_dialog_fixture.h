// The main dialog's logic on an in-memory dialog, a fake world of ports and
// cards, and a private registry.
#pragma once

#include "tests/platform/temp_config_home.h"
#include "tests/tool/fake_control.h"
#include "tool/dravel_dlg.h"
#include "tool/memory_view.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tooltest {

class MainDialogTest : public ::testing::Test {
protected:
    MainDialogTest() {
        m_view.m_onWarning = [] { return true; };
        m_view.m_onText = [this](int id, const std::string& text) {
            if (id == dravel::IDC_STATUS) m_statuses.push_back(text);
        };
    }

    // Builds the dialog (after the test has set up the registry and world)
    // and passes the warning gate.
    dravel::CDravelDlg& Open() {
        m_dlg = std::make_unique<dravel::CDravelDlg>(m_view, FakeFactory(m_world)());
        m_dlg->OnInitDialog();
        m_dlg->OnTimer();
        return *m_dlg;
    }

    // Presses "查找" and ticks until the search ends; returns the ticks used.
    int Search() {
        m_dlg->OnSearch();
        int ticks = 0;
        while (m_dlg->IsSearching() && ticks < 100) {
            m_dlg->OnTimer();
            ++ticks;
        }
        return ticks;
    }

    int Stored(const char* name, int fallback = -12345) {
        dravel::CSettingsKey key;
        key.OpenKey(dravel::kProductKey);
        return key.ReadInt(name, fallback);
    }
    void Store(const char* name, int value) {
        dravel::CSettingsKey key;
        key.OpenKey(dravel::kProductKey);
        key.WriteInt(name, value);
    }

    testsupport::CTempConfigHome m_home;
    std::shared_ptr<CFakeWorld> m_world = std::make_shared<CFakeWorld>();
    dravel::CMemoryView m_view;
    std::unique_ptr<dravel::CDravelDlg> m_dlg;
    std::vector<std::string> m_statuses;
};

} // namespace tooltest
