// What the dialog logic needs from a dialog on screen: its controls, reached
// by identifier, message boxes and the end of the dialog. The Qt views and the
// in-memory view of the console and the tests implement it.
#pragma once

#include <string>

namespace dravel {

enum class MessageIcon { None, Exclamation, Error };

class IDialogView {
public:
    virtual ~IDialogView() = default;

    virtual void SetCaption(const std::string& text) = 0;

    // Text of a static text, an edit field or a button.
    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual std::string GetItemText(int id) const = 0;

    virtual void EnableItem(int id, bool enable) = 0;
    virtual bool IsItemEnabled(int id) const = 0;
    virtual void FocusItem(int id) = 0;

    // Drop-down lists.
    virtual void ResetList(int id) = 0;
    virtual void AddListItem(int id, const std::string& text) = 0;
    virtual int ListCount(int id) const = 0;
    virtual std::string ListItem(int id, int index) const = 0;
    // -1 clears the selection; so does an index outside the list.
    virtual void SetListSelection(int id, int index) = 0;
    virtual int ListSelection(int id) const = 0;

    // Check boxes and radio buttons.
    virtual void SetChecked(int id, bool checked) = 0;
    virtual bool IsChecked(int id) const = 0;

    // A modal message box with an OK button.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;

    // Ends a modal dialog with this result.
    virtual void EndDialog(int result) = 0;
};

// The main dialog also runs the search timer and opens the other dialogs.
class IMainDialogHost : public IDialogView {
public:
    // Starts a periodic timer; returns its identifier, 0 when none started.
    virtual unsigned StartTimer(unsigned id, unsigned periodMs) = 0;
    virtual void StopTimer(unsigned timer) = 0;

    // Modal sub-dialogs: the warning (true: "进入"), the password (true: the
    // right password was given) and the forced configuration.
    virtual bool RunWarningDialog() = 0;
    virtual bool RunPasswordDialog() = 0;
    virtual void RunForceSetupDialog() = 0;

    // Asks the dialog to close once the current handler has returned.
    virtual void PostCloseRequest() = 0;
};

} // namespace dravel
