// dravel.exe and palvex.exe as Windows sees them, read from their files: the
// subsystem each starts as, the manifest (read by the system's activation
// context), the version block with the project's version, and the tool's
// icon at its four sizes. Then dravel.exe run as a user runs it: a command
// typed in a console window is answered in that window, and without any
// control the program shows its Chinese message box and ends.
#include "tests/tool/win32/dialog_test_support_win32.h"
#include "tool/dravel_app.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace tooltest {
namespace {

std::wstring PathFrom(const char* variable) {
    const char* value = std::getenv(variable);
    std::wstring path;
    for (const char* c = value != nullptr ? value : ""; *c != '\0'; ++c)
        path += static_cast<wchar_t>(*c);
    return path;
}

std::string Utf8Of(const wchar_t* text) {
    return Utf8(text != nullptr ? std::wstring(text) : std::wstring());
}

std::vector<unsigned char> FileBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

// The Subsystem field of a PE file's optional header (at the same offset in
// PE32 and PE32+); -1 when the file is no PE file.
int SubsystemOf(const std::vector<unsigned char>& file) {
    auto at32 = [&](std::size_t offset) -> std::uint32_t {
        return offset + 4 <= file.size()
                   ? file[offset] | file[offset + 1] << 8 | file[offset + 2] << 16 |
                         static_cast<std::uint32_t>(file[offset + 3]) << 24
                   : 0;
    };
    const std::size_t pe = at32(0x3C);
    if (file.size() < 2 || file[0] != 'M' || file[1] != 'Z' || at32(pe) != 0x00004550) return -1;
    const std::size_t subsystem = pe + 4 + 20 + 68;
    return subsystem + 2 <= file.size() ? file[subsystem] | file[subsystem + 1] << 8 : -1;
}

// The program's file loaded for its resources only.
class CResourceFile {
  public:
    explicit CResourceFile(const std::wstring& path)
        : m_module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~CResourceFile() {
        if (m_module != nullptr) FreeLibrary(m_module);
    }
    CResourceFile(const CResourceFile&) = delete;
    CResourceFile& operator=(const CResourceFile&) = delete;
    HMODULE Get() const { return m_module; }
    // The bytes of a resource; empty when there is none.
    std::string Bytes(LPCWSTR name, LPCWSTR type) const {
        HRSRC found = m_module != nullptr ? FindResourceW(m_module, name, type) : nullptr;
        HGLOBAL loaded = found != nullptr ? LoadResource(m_module, found) : nullptr;
        const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
        return data != nullptr
                   ? std::string(static_cast<const char*>(data), SizeofResource(m_module, found))
                   : std::string();
    }

  private:
    HMODULE m_module;
};

struct SProgram {
    const char* variable; // where the test finds the program (a Wine path)
    int subsystem;
    unsigned language; // of the version block
};

const SProgram kPrograms[] = {
    {"DRAVEL_EXE", IMAGE_SUBSYSTEM_WINDOWS_GUI, 0x0804},
    {"PALVEX_EXE", IMAGE_SUBSYSTEM_WINDOWS_CUI, 0x0409},
};

class WindowsProgramTest : public ::testing::TestWithParam<SProgram> {
  protected:
    std::wstring Path() const { return PathFrom(GetParam().variable); }
};

TEST_P(WindowsProgramTest, StartsAsTheSubsystemItIsMadeFor) {
    const std::vector<unsigned char> file = FileBytes(Path());
    ASSERT_FALSE(file.empty()) << GetParam().variable << " names no file";
    EXPECT_EQ(SubsystemOf(file), GetParam().subsystem);
}

TEST_P(WindowsProgramTest, ItsManifestIsReadByTheSystemWithEveryEntry) {
    const CResourceFile program(Path());
    const std::string manifest = program.Bytes(MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_FALSE(manifest.empty()) << "no RT_MANIFEST 1";
    for (const char* entry : {
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             "level=\"asInvoker\"",
             "{e2011457-1546-43c5-a5fe-008deee3d3f0}", // Vista
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
         })
        EXPECT_NE(manifest.find(entry), std::string::npos) << entry;

    // The activation context the loader makes from it, and the DPI settings
    // as the system reads them there.
    const std::wstring path = Path();
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE context = CreateActCtxW(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the system refuses the manifest";
    using QuerySettings =
        BOOL(WINAPI*)(DWORD, HANDLE, const wchar_t*, const wchar_t*, wchar_t*, SIZE_T, SIZE_T*);
    const auto query = reinterpret_cast<QuerySettings>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryActCtxSettingsW")));
    ASSERT_NE(query, nullptr);
    struct {
        const wchar_t* space; // the settings' namespace
        const wchar_t* name;
        const char* value;
    } const settings[] = {
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", "true/pm"},
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
         "PerMonitorV2, PerMonitor"}};
    for (const auto& setting : settings) {
        wchar_t value[128] = {};
        SIZE_T size = 0;
        EXPECT_TRUE(query(0, context, setting.space, setting.name, value, 128, &size));
        EXPECT_EQ(Utf8Of(value), setting.value) << Utf8Of(setting.name);
    }
    ReleaseActCtx(context);
}

TEST_P(WindowsProgramTest, ItsVersionBlockCarriesTheProjectVersion) {
    const std::wstring path = Path();
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(block.empty()) << "no version block";
    ASSERT_TRUE(
        GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));

    unsigned parts[4] = {};
    ASSERT_EQ(std::sscanf(PALVEX_PROJECT_VERSION, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2],
                          &parts[3]),
              4);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, parts[0] << 16 | parts[1]);
    EXPECT_EQ(fixed->dwFileVersionLS, parts[2] << 16 | parts[3]);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &size));
    EXPECT_EQ(static_cast<unsigned>(translation[0]), GetParam().language);
    EXPECT_EQ(translation[1], 1200); // UTF-16
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        wchar_t key[64];
        std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                      name);
        wchar_t* value = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &size))
            << Utf8Of(name);
        EXPECT_EQ(Utf8Of(value), PALVEX_PROJECT_VERSION) << Utf8Of(name);
    }
}

INSTANTIATE_TEST_SUITE_P(DravelAndPalvex, WindowsProgramTest, ::testing::ValuesIn(kPrograms),
                         [](const ::testing::TestParamInfo<SProgram>& info) {
                             return std::string(info.param.variable);
                         });

#pragma pack(push, 2)
struct SIconEntry { // GRPICONDIRENTRY of an RT_GROUP_ICON resource
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

class DravelIconTest : public ::testing::TestWithParam<int> {};

TEST_P(DravelIconTest, HasTheFourSizesEachAnImageTheSystemLoads) {
    const CResourceFile program(PathFrom("DRAVEL_EXE"));
    const std::string group = program.Bytes(MAKEINTRESOURCEW(GetParam()), RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u) << "no icon group " << GetParam();
    const auto count = static_cast<std::size_t>(static_cast<unsigned char>(group[4]) |
                                                static_cast<unsigned char>(group[5]) << 8);
    ASSERT_EQ(group.size(), 6 + count * sizeof(SIconEntry));
    std::vector<int> sizes;
    for (std::size_t i = 0; i < count; ++i) {
        SIconEntry entry{};
        std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
        const int side = entry.width == 0 ? 256 : entry.width;
        sizes.push_back(side);
        EXPECT_EQ(entry.bitCount, 32) << side;
        std::string image = program.Bytes(MAKEINTRESOURCEW(entry.id), RT_ICON);
        ASSERT_EQ(image.size(), entry.bytes) << side;
        HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()),
                                              static_cast<DWORD>(image.size()), TRUE, 0x00030000, 0,
                                              0, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr) << "the " << side << " pixel image does not load";
        ICONINFO info{};
        BITMAP bitmap{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, side);
        EXPECT_EQ(bitmap.bmHeight, side);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 256}));
}

// The program's icon and the warning gate's sign.
INSTANTIATE_TEST_SUITE_P(ProgramAndWarning, DravelIconTest,
                         ::testing::Values(dravel::IDI_DRAVEL, dravel::IDI_WARNING_SIGN));

// dravel.exe started as cmd.exe starts a windowed program: with no standard
// handles (null); ended when the test leaves early.
class CStarted {
  public:
    bool Start(const std::wstring& path, const std::wstring& words) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        std::wstring line = L"\"" + path + L"\" " + words;
        return CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &m_info) != FALSE;
    }
    ~CStarted() {
        if (m_info.hProcess == nullptr) return;
        if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_info.hProcess, 99);
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }
    unsigned long Id() const { return m_info.dwProcessId; }
    long WaitForExit(unsigned ms) const {
        DWORD status = 0;
        if (WaitForSingleObject(m_info.hProcess, ms) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(m_info.hProcess, &status))
            return -1;
        return static_cast<long>(status);
    }

  private:
    PROCESS_INFORMATION m_info{};
};

std::string ConsoleScreenText(HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(screen, &info)) return {};
    std::wstring cells(static_cast<std::size_t>(info.dwSize.X) * info.dwSize.Y, L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, cells.data(), static_cast<DWORD>(cells.size()), {0, 0},
                                &read);
    cells.resize(read);
    return Utf8(cells);
}

TEST(DravelExeConsoleTest, ACommandTypedInAConsoleWindowIsAnsweredInThatWindow) {
    // This test's own console stands for the cmd.exe window dravel.exe is
    // started from.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    ASSERT_EQ(ConsoleScreenText(screen).find("Usage:"), std::string::npos);
    {
        CStarted dravel;
        ASSERT_TRUE(dravel.Start(PathFrom("DRAVEL_EXE"), L"--help"));
        EXPECT_EQ(dravel.WaitForExit(30000), 0);
    }
    const std::string shown = ConsoleScreenText(screen);
    EXPECT_NE(shown.find("Usage:"), std::string::npos) << shown.substr(0, 400);
    EXPECT_NE(shown.find("dravel settings"), std::string::npos);
    CloseHandle(screen);
    FreeConsole();
}

struct SFoundDialogs {
    unsigned long processId;
    std::vector<HWND> dialogs;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<SFoundDialogs*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found->processId && WindowClass(window) == "#32770")
        found->dialogs.push_back(window);
    return TRUE;
}

// The dialogs of a process, visible or not.
std::vector<HWND> DialogsOf(unsigned long processId) {
    SFoundDialogs found{processId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&found));
    return found.dialogs;
}

TEST(DravelExeWithoutControlTest, SaysInChineseHowToGetOneAndEndsWithoutADialog) {
    CStarted dravel;
    ASSERT_TRUE(dravel.Start(PathFrom("DRAVEL_LONE_EXE"), L""))
        << "DRAVEL_LONE_EXE names dravel.exe copied alone into a folder";
    WindowHandle box = nullptr;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (box == nullptr && std::chrono::steady_clock::now() < end) {
        box = ActiveDialogOfProcess(dravel.Id());
        if (box == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(box, nullptr) << "no message box; exit status " << dravel.WaitForExit(0);
    EXPECT_EQ(WindowClass(box), "#32770");
    EXPECT_EQ(Caption(box), dravel::text::kNoControlCaption);
    const std::string message = MessageBoxText(box);
    EXPECT_EQ(message, dravel::CDravelApp::NoControlMessage());
    EXPECT_NE(message.find("regsvr32 Palvex.ocx"), std::string::npos) << message;
    EXPECT_NE(message.find("dravel.exe"), std::string::npos) << message;
    EXPECT_EQ(DialogsOf(dravel.Id()).size(), 1u) << "a dialog beside the message box";
    PostClick(box, IDOK);
    EXPECT_EQ(dravel.WaitForExit(10000), 1);
}

} // namespace
} // namespace tooltest
