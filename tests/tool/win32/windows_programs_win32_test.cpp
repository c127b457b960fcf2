// dravel.exe and palvex.exe as Windows sees them, read from their files: the
// subsystem, the manifest, the version block, the tool's icons. Then
// dravel.exe run as a user runs it: a command typed in a console window is
// answered there; without any control it shows its Chinese message box.
#include "tests/tool/win32/dialog_test_support_win32.h"
#include "tool/dravel_app.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace tooltest {
namespace {

// The program's file mapped for its resources and headers only.
class CResourceFile {
  public:
    explicit CResourceFile(const char* variable)
        : m_module(LoadLibraryExW(PathFromEnvironment(variable).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE)) {}
    ~CResourceFile() {
        if (m_module != nullptr) FreeLibrary(m_module);
    }
    CResourceFile(const CResourceFile&) = delete;
    CResourceFile& operator=(const CResourceFile&) = delete;
    // The file's bytes as mapped (a data file's handle is its address, plus 1).
    const unsigned char* Bytes() const {
        return reinterpret_cast<const unsigned char*>(reinterpret_cast<ULONG_PTR>(m_module) & ~3);
    }
    // A resource's bytes; empty when there is none.
    std::string Resource(int id, LPCWSTR type) const {
        HRSRC found = m_module ? FindResourceW(m_module, MAKEINTRESOURCEW(id), type) : nullptr;
        HGLOBAL loaded = found != nullptr ? LoadResource(m_module, found) : nullptr;
        return loaded != nullptr ? std::string(static_cast<const char*>(LockResource(loaded)),
                                               SizeofResource(m_module, found))
                                 : std::string();
    }

  private:
    HMODULE m_module;
};

struct SProgram {
    const char* variable; // the environment variable naming the program
    int subsystem;
    unsigned language; // of the version block
};

class WindowsProgramTest : public ::testing::TestWithParam<SProgram> {};

TEST_P(WindowsProgramTest, StartsAsItsSubsystemAndCarriesItsManifestAndVersionBlock) {
    const CResourceFile program(GetParam().variable);
    ASSERT_NE(program.Bytes(), nullptr) << GetParam().variable << " names no program";
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(program.Bytes());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(program.Bytes() + dos->e_lfanew);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, GetParam().subsystem);

    const std::string manifest = program.Resource(1, RT_MANIFEST);
    for (const char* entry : {
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             "level=\"asInvoker\"", ">true/pm</dpiAware>",
             ">PerMonitorV2, PerMonitor</dpiAwareness>",
             "{e2011457-1546-43c5-a5fe-008deee3d3f0}", // Vista
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
         })
        EXPECT_NE(manifest.find(entry), std::string::npos) << "RT_MANIFEST 1 lacks " << entry;

    const std::wstring path = PathFromEnvironment(GetParam().variable);
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_TRUE(
        GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    unsigned v[4] = {};
    ASSERT_EQ(std::sscanf(PALVEX_PROJECT_VERSION, "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]), 4);
    VS_FIXEDFILEINFO* fixed = nullptr;
    WORD* translation = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, v[0] << 16 | v[1]);
    EXPECT_EQ(fixed->dwProductVersionLS, v[2] << 16 | v[3]);
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &size));
    EXPECT_EQ(static_cast<unsigned>(translation[0]), GetParam().language);
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
        wchar_t key[64];
        std::swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                      name);
        wchar_t* value = nullptr;
        ASSERT_TRUE(VerQueryValueW(block.data(), key, reinterpret_cast<void**>(&value), &size));
        EXPECT_EQ(Utf8(value), PALVEX_PROJECT_VERSION);
    }
}

INSTANTIATE_TEST_SUITE_P(
    DravelAndPalvex, WindowsProgramTest,
    ::testing::Values(SProgram{"DRAVEL_EXE", IMAGE_SUBSYSTEM_WINDOWS_GUI, 0x0804},
                      SProgram{"PALVEX_EXE", IMAGE_SUBSYSTEM_WINDOWS_CUI, 0x0409}),
    [](const auto& info) { return std::string(info.param.variable); });

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
    const CResourceFile program("DRAVEL_EXE");
    const std::string group = program.Resource(GetParam(), RT_GROUP_ICON);
    ASSERT_GE(group.size(), 6u) << "no icon group " << GetParam();
    std::vector<int> sizes;
    for (std::size_t at = 6; at + sizeof(SIconEntry) <= group.size(); at += sizeof(SIconEntry)) {
        SIconEntry entry{};
        std::memcpy(&entry, group.data() + at, sizeof entry);
        sizes.push_back(entry.width == 0 ? 256 : entry.width);
        std::string image = program.Resource(entry.id, RT_ICON);
        HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(image.data()),
                                              static_cast<DWORD>(image.size()), TRUE, 0x00030000, 0,
                                              0, LR_DEFAULTCOLOR);
        ASSERT_NE(icon, nullptr) << "the " << sizes.back() << " pixel image does not load";
        ICONINFO info{};
        BITMAP bitmap{};
        GetIconInfo(icon, &info);
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, sizes.back());
        EXPECT_EQ(bitmap.bmHeight, sizes.back());
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48, 256}));
}

// The program's icon and the warning gate's sign.
INSTANTIATE_TEST_SUITE_P(ProgramAndWarning, DravelIconTest,
                         ::testing::Values(dravel::IDI_DRAVEL, dravel::IDI_WARNING_SIGN));

TEST(DravelExeConsoleTest, ACommandTypedInAConsoleWindowIsAnsweredInThatWindow) {
    // This test's own console stands for the cmd.exe window.
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE screen =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    {
        CStartedProgram dravel;
        ASSERT_TRUE(dravel.Start(PathFromEnvironment("DRAVEL_EXE"), L"--help", true));
        EXPECT_EQ(dravel.WaitForExit(30000), 0);
    }
    std::wstring cells(80 * 100, L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, cells.data(), static_cast<DWORD>(cells.size()), {0, 0},
                                &read);
    const std::string shown = Utf8(cells.substr(0, read));
    EXPECT_NE(shown.find("Usage:"), std::string::npos) << shown.substr(0, 400);
    EXPECT_NE(shown.find("dravel settings"), std::string::npos);
    CloseHandle(screen);
    FreeConsole();
}

TEST(DravelExeWithoutControlTest, SaysInChineseHowToGetOneAndEndsWithoutADialog) {
    CStartedProgram dravel;
    ASSERT_TRUE(dravel.Start(PathFromEnvironment("DRAVEL_LONE_EXE")))
        << "DRAVEL_LONE_EXE names dravel.exe copied alone into a folder";
    WindowHandle box = nullptr;
    for (int i = 0; i < 600 && box == nullptr; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        box = ActiveDialogOfProcess(dravel.Id());
    }
    ASSERT_NE(box, nullptr) << "no message box; exit status " << dravel.WaitForExit(0);
    EXPECT_EQ(WindowClass(box), "#32770");
    EXPECT_EQ(Caption(box), dravel::text::kNoControlCaption);
    const std::string message = MessageBoxText(box);
    EXPECT_EQ(message, dravel::CDravelApp::NoControlMessage());
    EXPECT_NE(message.find("regsvr32 Palvex.ocx"), std::string::npos) << message;
    EXPECT_EQ(DialogCountOfProcess(dravel.Id()), 1u) << "a dialog beside the message box";
    PostClick(box, IDOK);
    EXPECT_EQ(dravel.WaitForExit(10000), 1);
}

} // namespace
} // namespace tooltest
