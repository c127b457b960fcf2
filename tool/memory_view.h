// A dialog kept in memory: every control is a record, every modal step a
// hook. The console commands drive the dialog logic through it, and so do
// the tests.
#pragma once

#include "tool/dialog_view.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dravel {

class CMemoryView : public IMainDialogHost {
public:
    struct Item {
        std::string text;
        bool enabled = true;
        bool checked = false;
        std::vector<std::string> entries;
        int selection = -1;
    };
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    // IDialogView
    void SetCaption(const std::string& text) override { m_strCaption = text; }
    void SetItemText(int id, const std::string& text) override;
    std::string GetItemText(int id) const override;
    void EnableItem(int id, bool enable) override { m_items[id].enabled = enable; }
    bool IsItemEnabled(int id) const override;
    void FocusItem(int id) override { m_nFocus = id; }
    void ResetList(int id) override;
    void AddListItem(int id, const std::string& text) override;
    int ListCount(int id) const override;
    std::string ListItem(int id, int index) const override;
    void SetListSelection(int id, int index) override;
    int ListSelection(int id) const override;
    void SetChecked(int id, bool checked) override { m_items[id].checked = checked; }
    bool IsChecked(int id) const override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void EndDialog(int result) override { m_nEndResult = result; }

    // IMainDialogHost
    unsigned StartTimer(unsigned id, unsigned periodMs) override;
    void StopTimer(unsigned timer) override;
    bool RunWarningDialog() override;
    bool RunPasswordDialog() override;
    void RunForceSetupDialog() override;
    void PostCloseRequest() override { m_bCloseRequested = true; }

    // Hooks for the modal steps; a missing hook declines.
    std::function<bool()> m_onWarning;
    std::function<bool()> m_onPassword;
    std::function<void()> m_onForceSetup;
    // Called after every text change of a control and after every message.
    std::function<void(int id, const std::string& text)> m_onText;
    std::function<void(const Message& message)> m_onMessage;

    // What happened, for the console and the tests to read.
    std::string m_strCaption;
    int m_nFocus = 0;
    std::vector<Message> m_messages;
    std::optional<int> m_nEndResult;
    bool m_bCloseRequested = false;
    unsigned m_nRunningTimer = 0; // 0: no timer runs
    int m_nTimerStarts = 0;
    int m_nWarningsShown = 0;

private:
    const Item* Find(int id) const;

    std::map<int, Item> m_items;
};

} // namespace dravel
