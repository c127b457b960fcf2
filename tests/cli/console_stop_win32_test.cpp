// palvex.exe stopped from its console while send-font runs against the
// simulated card on COM3 (link/wine_links_test.sh starts it, paced at a real
// line's speed): after the first progress line the test sends the console's
// Ctrl-C; palvex must end the block in progress, close the port, say where it
// stopped and how to resume, and exit with 130, as SIGINT ends it on Linux.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace {

class CHandle {
  public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() {
        if (m_h != nullptr && m_h != INVALID_HANDLE_VALUE) CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }
    HANDLE* Put() { return &m_h; }
    void Close() {
        if (m_h != nullptr) CloseHandle(m_h);
        m_h = nullptr;
    }

  private:
    HANDLE m_h = nullptr;
};

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024] = L"";
    GetEnvironmentVariableW(name, value, 1024);
    return value;
}

// A font library of ten blocks: ten seconds at 9600 bit/s.
std::wstring FontLibrary() {
    wchar_t dir[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"palvex-stop-test.lib";
    CHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string bytes(10 * 1024, '\x55');
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return path;
}

// Console control events for the test's own process go nowhere.
BOOL WINAPI IgnoreInTheTest(DWORD) {
    return TRUE;
}

// The event goes to every process of the console, the test's own included
// (which ignores it). Wine 8 makes only this one: it refuses Ctrl-Break and
// an event for one process group, which real Windows also sends (palvex's
// handler takes Ctrl-Break as it takes Ctrl-C).
class PalvexStop : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Wine gives a program started from a pipe a console without a
        // window, for which it makes no control events: the test and palvex
        // share a console of their own made here.
        FreeConsole();
        s_console = AllocConsole() ? 0 : GetLastError();
        SetConsoleCtrlHandler(IgnoreInTheTest, TRUE);
    }
    static inline DWORD s_console = 0;
};

TEST_F(PalvexStop, CtrlCEndsTheBlockInProgressClosesThePortAndExitsWith130) {
    ASSERT_EQ(s_console, 0u) << "no console for the test and palvex";
    const std::wstring exe = Environment(L"PALVEX_EXE");
    ASSERT_FALSE(exe.empty()) << "PALVEX_EXE names palvex.exe";
    std::wstring line = L"\"" + exe +
                        L"\" --com 3 --baud 9600 --wait 3000 --card 1 --width 256 --height 64 " +
                        L"send-font \"" + FontLibrary() + L"\"";

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CHandle errRead, errWrite, outRead, outWrite;
    ASSERT_TRUE(CreatePipe(errRead.Put(), errWrite.Put(), &inherit, 0));
    ASSERT_TRUE(CreatePipe(outRead.Put(), outWrite.Put(), &inherit, 0));
    SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = outWrite.Get();
    start.hStdError = errWrite.Get();
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &start, &process))
        << GetLastError();
    CHandle processHandle(process.hProcess), thread(process.hThread);
    errWrite.Close();
    outWrite.Close();
    // Standard output drained beside, so palvex never waits on it.
    std::string out;
    std::thread outReader([&] {
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(outRead.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            out.append(buffer, got);
    });

    // Standard error up to the first progress line, then the event.
    std::string err;
    bool tried = false, sent = false;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(errRead.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        err.append(buffer, got);
        if (!tried && err.find("% 1/10 blocks") != std::string::npos) {
            tried = true;
            sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
            EXPECT_TRUE(sent) << ": " << GetLastError();
        }
    }
    outReader.join();
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);

    EXPECT_TRUE(tried) << "no progress line came:\n" << err;
    EXPECT_EQ(status, 130u) << err;
    EXPECT_EQ(out, "") << "a stopped job prints nothing on standard output";
    // It stopped between blocks, after the one it reported and before the
    // end: after block 0 (the event came before palvex asked again), 1 (the
    // block in progress ended first) or 2.
    const std::size_t stop = err.find("palvex: send-font: stopped by SIGINT after block ");
    ASSERT_NE(stop, std::string::npos) << err;
    const int block = std::atoi(err.c_str() + stop + 49);
    EXPECT_GE(block, 0) << err;
    EXPECT_LE(block, 2) << err;
    EXPECT_NE(err.find(" of 10; resume with --from " + std::to_string(block + 1) + "\n", stop),
              std::string::npos)
        << err;
    // The port is free again.
    CHandle port(CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(port.Get(), INVALID_HANDLE_VALUE) << "COM3 is still held: " << GetLastError();
}

} // namespace
