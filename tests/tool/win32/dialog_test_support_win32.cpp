#include "tests/tool/win32/dialog_test_support_win32.h"

#include "platform/os/text_win32.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace tooltest {

namespace {

void PutBig32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(v >> shift);
}

// A PNG chunk: length, kind, data, CRC-32 of kind and data.
void PutChunk(std::string& out, const std::string& kindAndData) {
    PutBig32(out, static_cast<std::uint32_t>(kindAndData.size() - 4));
    std::uint32_t crc = ~0u;
    for (unsigned char c : kindAndData)
        for (int bit = 0; bit < 8; ++bit, c >>= 1)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - ((crc ^ c) & 1u)));
    out += kindAndData;
    PutBig32(out, ~crc);
}

// An RGB PNG of top-down BGRX pixels, its image data in stored (not
// compressed) deflate blocks: a picture to look at, not to keep small.
std::string PngOf(const unsigned char* bgrx, int width, int height) {
    std::string raw;
    for (int i = 0; i < width * height; ++i, bgrx += 4) {
        if (i % width == 0) raw += '\0'; // no filter
        raw += {static_cast<char>(bgrx[2]), static_cast<char>(bgrx[1]), static_cast<char>(bgrx[0])};
    }
    std::string data = "IDAT\x78\x01";
    std::uint32_t a = 1, b = 0;
    for (std::size_t at = 0; at < raw.size(); at += 65535) {
        const auto n = static_cast<std::uint16_t>(std::min<std::size_t>(65535, raw.size() - at));
        data += {static_cast<char>(at + n == raw.size()), static_cast<char>(n),
                 static_cast<char>(n >> 8), static_cast<char>(~n), static_cast<char>(~n >> 8)};
        data.append(raw, at, n);
    }
    for (unsigned char c : raw)
        b = (b + (a = (a + c) % 65521)) % 65521;
    PutBig32(data, b << 16 | a);
    std::string header = "IHDR";
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, header);
    PutChunk(png, data);
    PutChunk(png, "IEND");
    return png;
}

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
    const std::string png = PngOf(static_cast<const unsigned char*>(bits), width, height);
    std::ofstream out(path, std::ios::binary);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    const bool written = static_cast<bool>(out);
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
