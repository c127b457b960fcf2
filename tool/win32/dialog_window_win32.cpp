#include "tool/win32/dialog_window_win32.h"

#include "platform/os/text_win32.h"

#include <ole2.h>
#include <windows.h>

#include <commctrl.h>

#include <string>

namespace dravel::win32 {

namespace {

std::wstring Wide(const std::string& text) {
    std::wstring wide;
    if (!palvex::os::WideFromUtf8(text, wide)) wide.clear();
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    std::string text;
    if (!palvex::os::Utf8FromWide(wide, text)) text.clear();
    return text;
}

IDialogEvents* EventsOf(HWND dialog) {
    return reinterpret_cast<IDialogEvents*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* events = reinterpret_cast<IDialogEvents*>(lParam);
        // FALSE tells the dialog manager that the focus was set here.
        return events->OnInitDialog(dialog) ? FALSE : TRUE;
    }
    IDialogEvents* events = EventsOf(dialog);
    if (events == nullptr) return FALSE;
    switch (message) {
    case WM_COMMAND:
        // Clicks, and Enter and Escape, which the dialog manager turns into
        // clicks of the default button (or IDOK) and of IDCANCEL; the
        // notifications of lists and edit fields are not the logic's.
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        events->OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        events->OnTimer();
        return TRUE;
    case WM_RBUTTONDBLCLK:
        events->OnRButtonDblClk();
        return FALSE; // then the default handling
    default:
        return FALSE;
    }
}

HWND Item(HWND dialog, int id) {
    return GetDlgItem(dialog, id);
}

std::wstring WindowText(HWND window) {
    if (window == nullptr) return {};
    const int length = GetWindowTextLengthW(window);
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, wide.data(), length + 1);
    wide.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return wide;
}

} // namespace

CUiThread::CUiThread() {
    m_bOle = SUCCEEDED(OleInitialize(nullptr));
    // The controls of Common Controls 6, which the program's manifest asks
    // for: the system's current look for buttons, lists and edit fields.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
}

CUiThread::~CUiThread() {
    if (m_bOle) OleUninitialize();
}

std::intptr_t RunModalDialog(int templateId, WindowHandle owner, IDialogEvents& events) {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                           DialogProc, reinterpret_cast<LPARAM>(&events));
}

WindowHandle CreateDialogWindow(int templateId, WindowHandle owner, IDialogEvents& events) {
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                              DialogProc, reinterpret_cast<LPARAM>(&events));
}

void DestroyDialogWindow(WindowHandle dialog) {
    if (dialog != nullptr) DestroyWindow(dialog);
}

void SetCaption(WindowHandle dialog, const std::string& text) {
    SetWindowTextW(dialog, Wide(text).c_str());
}

void SetIcon(WindowHandle dialog, int iconId) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    auto load = [&](int metricX, int metricY) {
        return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                             GetSystemMetrics(metricX), GetSystemMetrics(metricY),
                                             LR_SHARED));
    };
    SendMessageW(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(load(SM_CXICON, SM_CYICON)));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(load(SM_CXSMICON, SM_CYSMICON)));
}

void SetItemText(WindowHandle dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, Wide(text).c_str());
}

std::string GetItemText(WindowHandle dialog, int id) {
    return Utf8(WindowText(Item(dialog, id)));
}

void LimitText(WindowHandle dialog, int id, int characters) {
    SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void EnableItem(WindowHandle dialog, int id, bool enable) {
    if (HWND item = Item(dialog, id)) EnableWindow(item, enable ? TRUE : FALSE);
}

bool IsItemEnabled(WindowHandle dialog, int id) {
    HWND item = Item(dialog, id);
    return item != nullptr && IsWindowEnabled(item) != FALSE;
}

void FocusItem(WindowHandle dialog, int id) {
    // Through the dialog manager, so the default button follows and an edit
    // field's text is selected.
    if (HWND item = Item(dialog, id))
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
}

void ResetList(WindowHandle dialog, int id) {
    SendDlgItemMessageW(dialog, id, CB_RESETCONTENT, 0, 0);
}

void AddListItem(WindowHandle dialog, int id, const std::string& text) {
    const std::wstring wide = Wide(text);
    SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

int ListCount(WindowHandle dialog, int id) {
    const LRESULT count = SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

std::string ListItem(WindowHandle dialog, int id, int index) {
    const LRESULT length =
        SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) return {};
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                               reinterpret_cast<LPARAM>(wide.data()));
    wide.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    return Utf8(wide);
}

void SetListSelection(WindowHandle dialog, int id, int index) {
    if (index < 0 || index >= ListCount(dialog, id)) index = -1;
    SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ListSelection(WindowHandle dialog, int id) {
    const LRESULT index = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void SetChecked(WindowHandle dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(WindowHandle dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void ShowMessage(WindowHandle owner, const std::string& text, const std::string& caption,
                 MessageIcon icon) {
    const UINT type = MB_OK | (icon == MessageIcon::Exclamation ? MB_ICONEXCLAMATION
                               : icon == MessageIcon::Error     ? MB_ICONERROR
                                                                : 0u);
    MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), type);
}

void EndDialog(WindowHandle dialog, int result) {
    ::EndDialog(dialog, result);
}

unsigned StartTimer(WindowHandle dialog, unsigned id, unsigned periodMs) {
    return static_cast<unsigned>(SetTimer(dialog, id, periodMs, nullptr));
}

void StopTimer(WindowHandle dialog, unsigned timer) {
    if (timer != 0) KillTimer(dialog, timer);
}

void PostCloseRequest(WindowHandle dialog) {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

} // namespace dravel::win32
