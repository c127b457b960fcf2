// Dialogs from the program's resources on the Windows dialog manager. Only
// dialog_window_win32.cpp includes the system's headers: the views that own
// the dialog logic reach their windows through the functions below, by the
// window's handle.
#pragma once

#include "tool/dialog_view.h"

#include <cstdint>
#include <string>

struct HWND__; // the system's window handle (HWND is HWND__*)

namespace dravel::win32 {

using WindowHandle = HWND__*;

// What a dialog window passes on to the object that runs it.
class IDialogEvents {
  public:
    virtual ~IDialogEvents() = default;
    // WM_INITDIALOG; returns true when it put the focus somewhere itself.
    virtual bool OnInitDialog(WindowHandle dialog) = 0;
    // A button was clicked; IDOK for Enter (the default button's own
    // identifier where the dialog has one), IDCANCEL for Escape and the
    // close box.
    virtual void OnCommand(int id) = 0;
    virtual void OnTimer() {}
    virtual void OnRButtonDblClk() {}
};

// Prepares the thread for the dialogs: COM (single-threaded apartment, for
// the link controls) and the common controls. Undone on destruction.
class CUiThread {
  public:
    CUiThread();
    ~CUiThread();
    CUiThread(const CUiThread&) = delete;
    CUiThread& operator=(const CUiThread&) = delete;

  private:
    bool m_bOle = false;
};

// Runs dialog template `templateId` of the program modally, owned by
// `owner` (may be null); returns what it ended with, -1 when it could not
// be made.
std::intptr_t RunModalDialog(int templateId, WindowHandle owner, IDialogEvents& events);
// The same dialog without a modal loop of its own; null when it could not
// be made. Destroy it with DestroyDialogWindow.
WindowHandle CreateDialogWindow(int templateId, WindowHandle owner, IDialogEvents& events);
void DestroyDialogWindow(WindowHandle dialog);

// The dialog's window and its controls.
void SetCaption(WindowHandle dialog, const std::string& text);
void SetIcon(WindowHandle dialog, int iconId);
void SetItemText(WindowHandle dialog, int id, const std::string& text);
std::string GetItemText(WindowHandle dialog, int id);
void LimitText(WindowHandle dialog, int id, int characters);
void EnableItem(WindowHandle dialog, int id, bool enable);
bool IsItemEnabled(WindowHandle dialog, int id);
void FocusItem(WindowHandle dialog, int id);
void ResetList(WindowHandle dialog, int id);
void AddListItem(WindowHandle dialog, int id, const std::string& text);
int ListCount(WindowHandle dialog, int id);
std::string ListItem(WindowHandle dialog, int id, int index);
void SetListSelection(WindowHandle dialog, int id, int index);
int ListSelection(WindowHandle dialog, int id);
void SetChecked(WindowHandle dialog, int id, bool checked);
bool IsChecked(WindowHandle dialog, int id);
void ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                 MessageIcon icon);
void EndDialog(WindowHandle dialog, int result);
unsigned StartTimer(WindowHandle dialog, unsigned id, unsigned periodMs);
void StopTimer(WindowHandle dialog, unsigned timer);
void PostCloseRequest(WindowHandle dialog);

// IDialogView over a dialog window; Interface is IDialogView or
// IMainDialogHost (whose own calls the main view adds).
template <class Interface> class CDialogWindowView : public Interface {
  public:
    void Attach(WindowHandle dialog) { m_hWnd = dialog; }
    WindowHandle Window() const { return m_hWnd; }

    void SetCaption(const std::string& text) override { win32::SetCaption(m_hWnd, text); }
    void SetItemText(int id, const std::string& text) override {
        win32::SetItemText(m_hWnd, id, text);
    }
    std::string GetItemText(int id) const override { return win32::GetItemText(m_hWnd, id); }
    void EnableItem(int id, bool enable) override { win32::EnableItem(m_hWnd, id, enable); }
    bool IsItemEnabled(int id) const override { return win32::IsItemEnabled(m_hWnd, id); }
    void FocusItem(int id) override { win32::FocusItem(m_hWnd, id); }
    void ResetList(int id) override { win32::ResetList(m_hWnd, id); }
    void AddListItem(int id, const std::string& text) override {
        win32::AddListItem(m_hWnd, id, text);
    }
    int ListCount(int id) const override { return win32::ListCount(m_hWnd, id); }
    std::string ListItem(int id, int index) const override {
        return win32::ListItem(m_hWnd, id, index);
    }
    void SetListSelection(int id, int index) override {
        win32::SetListSelection(m_hWnd, id, index);
    }
    int ListSelection(int id) const override { return win32::ListSelection(m_hWnd, id); }
    void SetChecked(int id, bool checked) override { win32::SetChecked(m_hWnd, id, checked); }
    bool IsChecked(int id) const override { return win32::IsChecked(m_hWnd, id); }
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        win32::ShowMessage(m_hWnd, text, caption, icon);
    }
    void EndDialog(int result) override { win32::EndDialog(m_hWnd, result); }

  private:
    WindowHandle m_hWnd = nullptr;
};

} // namespace dravel::win32
