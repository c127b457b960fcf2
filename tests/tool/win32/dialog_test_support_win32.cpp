#include "tests/tool/win32/dialog_test_support_win32.h"

#include "cli/png_write.h"
#include "platform/os/text_win32.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tooltest {

namespace {

std::wstring WindowText(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM found) {
    if (ClassOf(window) == L"#32770")
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

std::vector<HWND> ThreadDialogs() {
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

struct SProcessDialogs {
    DWORD processId;
    std::vector<HWND> dialogs;
};

BOOL CALLBACK CollectProcessDialog(HWND window, LPARAM found) {
    auto* wanted = reinterpret_cast<SProcessDialogs*>(found);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == wanted->processId && ClassOf(window) == L"#32770")
        wanted->dialogs.push_back(window);
    return TRUE;
}

CDialogScript* g_script = nullptr;

VOID CALLBACK ScriptTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (g_script != nullptr) g_script->Tick();
}

} // namespace

void PostClick(WindowHandle dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressButton(WindowHandle dialog, int id) {
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PostRightDoubleClick(WindowHandle dialog) {
    PostMessageW(dialog, WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(5, 5));
}

void PostKey(WindowHandle dialog, unsigned virtualKey) {
    HWND focus = GetFocus();
    HWND target = focus != nullptr && (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
}

std::string DialogItemText(WindowHandle dialog, int id) {
    wchar_t buffer[512] = {};
    GetDlgItemTextW(dialog, id, buffer, 512);
    return Utf8(buffer);
}

void SetDialogItemText(WindowHandle dialog, int id, const std::string& text) {
    std::wstring wide;
    palvex::os::WideFromUtf8(text, wide);
    SetDlgItemTextW(dialog, id, wide.c_str());
}

std::string Caption(WindowHandle window) {
    return Utf8(WindowText(window));
}

std::string WindowClass(WindowHandle window) {
    return Utf8(ClassOf(window));
}

std::string Utf8(const std::wstring& wide) {
    std::string text;
    return palvex::os::Utf8FromWide(wide, text) ? text : std::string();
}

bool HasItem(WindowHandle dialog, int id) {
    return GetDlgItem(dialog, id) != nullptr;
}

std::string MessageBoxText(WindowHandle box) {
    std::wstring joined;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == L"Static") joined += WindowText(child);
    return Utf8(joined);
}

WindowHandle ActiveDialog() {
    for (HWND dialog : ThreadDialogs())
        if (IsWindowVisible(dialog) && IsWindowEnabled(dialog)) return dialog;
    return nullptr;
}

bool IsWarning(WindowHandle d) {
    return Caption(d) == "警告";
}
bool IsMain(WindowHandle d) {
    return HasItem(d, dravel::IDC_SEARCH);
}
bool IsPassword(WindowHandle d) {
    return HasItem(d, dravel::IDC_PASSWORD);
}
bool IsForceSetup(WindowHandle d) {
    return HasItem(d, dravel::IDC_FORCE_PORT);
}
bool IsMessage(WindowHandle d) {
    return !IsMain(d) && !IsPassword(d) && !IsForceSetup(d) && !IsWarning(d);
}

std::size_t DialogCountOfProcess(unsigned long processId) {
    SProcessDialogs found{processId, {}};
    EnumWindows(CollectProcessDialog, reinterpret_cast<LPARAM>(&found));
    return found.dialogs.size();
}

bool CStartedProgram::Start(const std::wstring& path, const std::wstring& words,
                            bool noStandardHandles) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (noStandardHandles) startup.dwFlags = STARTF_USESTDHANDLES;
    std::wstring line = L"\"" + path + L"\" " + words;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    m_hProcess = info.hProcess;
    m_nId = info.dwProcessId;
    return true;
}

CStartedProgram::~CStartedProgram() {
    if (m_hProcess == nullptr) return;
    if (WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_hProcess, 99);
    CloseHandle(m_hProcess);
}

long CStartedProgram::WaitForExit(unsigned ms) const {
    DWORD status = 0;
    if (WaitForSingleObject(m_hProcess, ms) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(m_hProcess, &status))
        return -1;
    return static_cast<long>(status);
}

std::wstring PathFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    std::wstring path;
    for (const char* c = value != nullptr ? value : ""; *c != '\0'; ++c)
        path += static_cast<wchar_t>(*c);
    return path;
}

WindowHandle ActiveDialogOfProcess(unsigned long processId) {
    SProcessDialogs found{processId, {}};
    EnumWindows(CollectProcessDialog, reinterpret_cast<LPARAM>(&found));
    for (HWND dialog : found.dialogs)
        if (IsWindowVisible(dialog) && IsWindowEnabled(dialog)) return dialog;
    return nullptr;
}

std::function<bool()> When(std::function<bool(WindowHandle)> isIt,
                           std::function<void(WindowHandle)> act) {
    return [isIt = std::move(isIt), act = std::move(act)] {
        WindowHandle dialog = ActiveDialog();
        if (dialog == nullptr || !isIt(dialog)) return false;
        act(dialog);
        return true;
    };
}

void ClearToolSettings() {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tavrin\\Sarnow");
}

int StoredSetting(const char* name) {
    dravel::CSettingsKey key;
    key.OpenKey(dravel::kProductKey);
    return key.ReadInt(name, -1);
}

bool SavePicture(WindowHandle window, const std::string& name) {
    const char* dir = std::getenv("DRAVEL_PICTURE_DIR");
    RECT rect{};
    if (dir == nullptr || !GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    if (dib == nullptr || memory == nullptr) {
        if (dib != nullptr) DeleteObject(dib);
        if (memory != nullptr) DeleteDC(memory);
        return false;
    }
    HGDIOBJ old = SelectObject(memory, dib);
    PatBlt(memory, 0, 0, width, height, WHITENESS);
    // The window as painted: everything drawn now, then copied from the
    // window's surface with its frame. Wine's PrintWindow draws no children.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    HDC windowDc = GetWindowDC(window);
    const bool printed = windowDc != nullptr &&
                         BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
    if (windowDc != nullptr) ReleaseDC(window, windowDc);
    GdiFlush();

    const std::string path = std::string(dir) + "\\" + name + ".png";
    // The DIB's top-down BGRX pixels as the RGBA rows palvex's writer takes.
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    const auto* bgrx = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        rgba[i] = bgrx[i + 2], rgba[i + 1] = bgrx[i + 1], rgba[i + 2] = bgrx[i], rgba[i + 3] = 255;
    std::string why;
    const bool written = palvex::cli::WriteRgbaPng(path, rgba, static_cast<unsigned>(width),
                                                   static_cast<unsigned>(height), why);
    if (!written) std::printf("picture of %s not written: %s\n", name.c_str(), why.c_str());
    HDC measure = GetDC(window);
    std::printf("picture of %s, %d x %d pixels at %d dpi: %s\n", name.c_str(), width, height,
                GetDeviceCaps(measure, LOGPIXELSY), path.c_str());
    ReleaseDC(window, measure);

    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    return printed && written;
}

bool CDialogScript::Run(const std::function<void()>& modal) {
    m_nNext = 0;
    m_bTimedOut = false;
    m_nStart = GetTickCount64();
    CDialogScript* outer = g_script;
    g_script = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, ScriptTimer);
    modal();
    KillTimer(nullptr, timer);
    g_script = outer;
    return !m_bTimedOut && m_nNext == m_steps.size();
}

void CDialogScript::Tick() {
    if (!m_bTimedOut && GetTickCount64() - m_nStart > m_nTimeoutMs) m_bTimedOut = true;
    if (m_bTimedOut) {
        for (HWND dialog : ThreadDialogs())
            EndDialog(dialog, IDCANCEL);
        return;
    }
    static bool running = false; // a step never runs inside another
    if (running || m_nNext >= m_steps.size()) return;
    running = true;
    if (m_steps[m_nNext]()) ++m_nNext;
    running = false;
}

} // namespace tooltest
