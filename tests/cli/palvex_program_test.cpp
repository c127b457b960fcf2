// The built palvex program: output lines, exit status and --trace, run as a
// child process with its output captured in files.
#include "control/automation/dispatch_table.h"
#include "control/protocol/crc16.h"
#include "control/protocol/frame.h"
#include "tests/automation/cardsim_process.h"
#include "tests/cli/cli_test_support.h"
#include "tests/platform/temp_config_home.h"

#include <gtest/gtest.h>
#include <png.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef PALVEX_PROGRAM
#error "PALVEX_PROGRAM must name the palvex executable"
#endif
#ifndef PALVEX_MODULE_PATH
#error "PALVEX_MODULE_PATH must name the built module"
#endif
#ifndef PALVEX_CLI_TEST_MODULE
#error "PALVEX_CLI_TEST_MODULE must name the test module with methods of its own"
#endif
#ifndef CARDSIM_PROGRAM
#error "CARDSIM_PROGRAM must name the cardsim program"
#endif

extern char** environ;

namespace {

// Every run of palvex sees a store of its own, never the user's: palvex
// looks up the control's class there first.
const testsupport::CTempConfigHome g_privateStore;

struct ProgramRun {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `program` with `args` in the test's environment without PALVEX_TRACE.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
    ProgramRun r;
    char outPath[] = "/tmp/palvex_test_out_XXXXXX";
    char errPath[] = "/tmp/palvex_test_err_XXXXXX";
    const int outFd = mkstemp(outPath);
    const int errFd = mkstemp(errPath);
    if (outFd < 0 || errFd < 0) {
        ADD_FAILURE() << "no temporary files";
        return r;
    }

    std::vector<char*> argv;
    std::string path = program;
    argv.push_back(path.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "PALVEX_TRACE=", 13) != 0) envp.push_back(*e);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(outFd);
    close(errFd);
    if (rc == 0) {
        int wstatus = 0;
        if (waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
        r.out = ReadFile(outPath);
        r.err = ReadFile(errPath);
    } else {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(rc);
    }
    unlink(outPath);
    unlink(errPath);
    return r;
}

ProgramRun RunPalvex(const std::vector<std::string>& args) {
    return RunProgram(PALVEX_PROGRAM, args);
}

std::vector<std::string> Split(const std::string& command) {
    std::vector<std::string> words;
    std::istringstream in(command);
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

TEST(PalvexProgram, PrintsTheCapturedPropertyFrame) {
    const ProgramRun r = RunPalvex(
        Split("SetSendFlag 0 : SetLedProperty 1 256 64 : QKSetProperty 20004081 : GetSendString"));
    EXPECT_EQ(r.out, "SetSendFlag -\n"
                     "SetLedProperty true\n"
                     "QKSetProperty true\n"
                     "GetSendString true 16 1B24514B303157000543200040810790\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(PalvexProgram, RefusesAnUnknownMethodBeforeRunningAnything) {
    const ProgramRun r = RunPalvex(Split("SetSendFlag 0 : SetLedProperty 1 256 64 : Frobnicate 1"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("unknown method \"Frobnicate\""), std::string::npos) << r.err;
}

TEST(PalvexProgram, RefusesAWrongArgumentCountBeforeRunningAnything) {
    const ProgramRun r = RunPalvex(Split("SetSendFlag 0 : SetLedProperty 1 256"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("SetLedProperty takes 3 arguments"), std::string::npos) << r.err;
}

TEST(PalvexProgram, PrintsUsageWithoutArgumentsAndHelpOnRequest) {
    ProgramRun r = RunPalvex({});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: palvex"), std::string::npos) << r.err;

    r = RunPalvex({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("GetSendString"), std::string::npos);
    EXPECT_NE(r.out.find("NetInitial"), std::string::npos);
}

TEST(PalvexProgram, ListsInItsHelpEveryMethodOfTheModuleWithItsIdentifier) {
    const ProgramRun r = RunPalvex({"--help"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const palvex::DispatchEntry& e : palvex::AllDispatchEntries()) {
        char head[64];
        std::snprintf(head, sizeof head, "\n  %3d  %s ", static_cast<int>(e.id), e.name);
        EXPECT_NE(r.out.find(head), std::string::npos) << head;
    }
    EXPECT_EQ(r.out.find("not callable"), std::string::npos);
}

TEST(PalvexProgram, RefusesABadOptionOrAMissingMethodWithoutLookingForAModule) {
    // A copy away from the build tree finds no module; these lines never
    // need one.
    cli_test::TempDir dir;
    const std::string program = dir.Path() + "/palvex";
    std::filesystem::copy_file(PALVEX_PROGRAM, program);
    ProgramRun r = RunProgram(program, Split("--loud GetVersion"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown option \"--loud\""), std::string::npos) << r.err;
    r = RunProgram(program, Split("--trace --raw-text"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no method given"), std::string::npos) << r.err;
    // A method needs the module's table to be checked.
    r = RunProgram(program, Split("Frobnicate 1"));
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
}

TEST(PalvexProgram, ExitsWithOneWhenACallReturnsFalse) {
    const ProgramRun r = RunPalvex(Split("SetLedProperty 40 256 64 : GetVersion"));
    EXPECT_EQ(r.out, "SetLedProperty false\nGetVersion -1\n");
    EXPECT_EQ(r.status, 1);
}

// The frame the control builds for `payload` to card 1: header, length,
// payload, CRC over length and payload.
std::string FrameHex(const cli_test::Bytes& payload) {
    std::uint16_t table[256];
    palvex::FillCrcTable(table);
    cli_test::Bytes frame(payload.size() + palvex::kFrameOverhead);
    palvex::BuildFrame(table, 1, payload.data(), payload.size(), frame.data());
    return std::to_string(frame.size()) + " " + cli_test::Hex(frame);
}

TEST(PalvexProgram, DrawsTextInTheCardsCodePage) {
    const ProgramRun r = RunPalvex(Split(
        "SetSendFlag 0 : SetLedProperty 1 256 64 : ShowString 0 300 16 1 中文 : GetSendString"));
    // "J", bank 0, x 300, y 16, colour 1, the text in GBK, a zero byte.
    const cli_test::Bytes payload = {0x4A, 0x00, 0x01, 0x2C, 0x00, 0x10,
                                     0x01, 0xD6, 0xD0, 0xCE, 0xC4, 0x00};
    EXPECT_EQ(r.out, "SetSendFlag -\n"
                     "SetLedProperty true\n"
                     "ShowString true\n"
                     "GetSendString true " +
                         FrameHex(payload) + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(PalvexProgram, PassesTextBytesUnchangedWithRawText) {
    const ProgramRun r = RunPalvex(Split("--raw-text SetSendFlag 0 : SetLedProperty 1 256 64 : "
                                         "ShowString 0 300 16 1 中文 : GetSendString"));
    const cli_test::Bytes payload = {0x4A, 0x00, 0x01, 0x2C, 0x00, 0x10, 0x01,
                                     0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87, 0x00};
    EXPECT_NE(r.out.find("GetSendString true " + FrameHex(payload) + "\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.status, 0);
}

TEST(PalvexProgram, RefusesTextWithoutACodeInGbkBeforeRunningAnything) {
    const ProgramRun r =
        RunPalvex(Split("SetSendFlag 0 : SetLedProperty 1 256 64 : ShowString 0 0 0 1 ok😀"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("ShowString lpstr: \"😀\" (byte 3 of the text) has no code in GBK"),
              std::string::npos)
        << r.err;
}

TEST(PalvexProgram, RefusesAPictureFileOfTheWrongSizeBeforeRunningAnything) {
    cli_test::TempDir dir;
    const std::string path = dir.Write("picture.bin", cli_test::Bytes(65000, 1));
    const ProgramRun r = RunPalvex({"SetSendFlag", "0", ":", "SetLedProperty", "1", "256", "64",
                                    ":", "SendPicture", "0", "0", path});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(
        r.err.find("SendPicture lpBuff: \"" + path + "\" is not a picture: it has 65000 bytes"),
        std::string::npos)
        << r.err;
}

TEST(PalvexProgram, PrintsRecordsAndADashForReadersInCaptureMode) {
    const ProgramRun r = RunPalvex(Split("SetSendFlag 0 : SetLedProperty 1 256 64 : "
                                         "SendProgList 1 FF070F0000000000 : GetTime"));
    EXPECT_EQ(r.out, "SetSendFlag -\n"
                     "SetLedProperty true\n"
                     "SendProgList true E0300E0001000000\n"
                     "GetTime true -\n");
    EXPECT_EQ(r.status, 0);
}

// A listening socket on the loopback interface that accepts connections
// (through its backlog) but never answers.
class SilentListener {
  public:
    SilentListener() {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(m_fd, 4) != 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
    }
    ~SilentListener() {
        if (m_fd >= 0) close(m_fd);
    }
    unsigned Port() const { return m_port; }

  private:
    int m_fd = -1;
    unsigned m_port = 0;
};

TEST(PalvexProgram, TracesFramesOnlyWithTheTraceOption) {
    SilentListener listener;
    ASSERT_NE(listener.Port(), 0u);
    const std::string calls = "NetInitial 0 127.0.0.1 " + std::to_string(listener.Port()) +
                              " 100 : SetLedProperty 1 256 64 : SetCommTimeOut 10 : QKClose";
    const std::string expectedOut =
        "NetInitial true\nSetLedProperty true\nSetCommTimeOut false\nQKClose -\n";

    ProgramRun r = RunPalvex(Split("--trace " + calls));
    EXPECT_EQ(r.out, expectedOut);
    EXPECT_EQ(r.status, 1);
    const std::string link = "127.0.0.1:" + std::to_string(listener.Port());
    EXPECT_NE(r.err.find("palvex: " + link + " attempt 1/5 > 1B24514B303157000277"),
              std::string::npos)
        << r.err;
    // The reason of the failed call: printed by the trace, not again.
    const std::string reason = link + " attempt 5/5 read failed: timed out";
    const std::size_t first = r.err.find(reason);
    EXPECT_NE(first, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(reason, first + 1), std::string::npos) << r.err;

    // Without the trace only the reason of the call that returned false.
    r = RunPalvex(Split(calls));
    EXPECT_EQ(r.out, expectedOut);
    EXPECT_EQ(r.err, "palvex: " + reason + "\n");
}

namespace {

// Points PALVEX_COM3 at `path` for the programs run while it lives.
class CComThree {
  public:
    explicit CComThree(const std::string& path) { setenv("PALVEX_COM3", path.c_str(), 1); }
    ~CComThree() { unsetenv("PALVEX_COM3"); }
    CComThree(const CComThree&) = delete;
    CComThree& operator=(const CComThree&) = delete;
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(PalvexProgram, SaysOnStandardErrorWhyAPortDidNotOpenAndKeepsItsOutput) {
    cli_test::TempDir dir;
    const std::string file = dir.Path() + "/notes.txt";
    ASSERT_TRUE(testsupport::WriteFile(file, "not a port"));
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {"/nonexistent/ttyUSB9",
         "COM3 open failed: no such device (ENOENT): /nonexistent/ttyUSB9 does not exist"},
        {file, "COM3 open failed: not a serial device (ENOTTY): " + file + " is not a terminal"},
    };
    for (const auto& c : cases) {
        CComThree port(c.path);
        const ProgramRun r = RunPalvex(Split("ComInitial 3 9600 800"));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "ComInitial false\n");
        EXPECT_EQ(r.err, "palvex: " + c.reason + "\n");
    }
}

TEST(PalvexProgram, PrintsAReasonOnceAndLeavesItToTheTraceWhenTracing) {
    CComThree port("/nonexistent/ttyUSB9");
    const std::string calls = "ComInitial 3 9600 800 : QKClose : ComInitial 3 9600 800";
    const std::string reason = "COM3 open failed: no such device";
    ProgramRun r = RunPalvex(Split(calls));
    EXPECT_EQ(r.out, "ComInitial false\nQKClose -\nComInitial false\n");
    EXPECT_EQ(Count(r.err, reason), 1u) << r.err;
    // The trace prints each of the two failures as it happens; palvex adds
    // none of its own.
    r = RunPalvex(Split("--trace " + calls));
    EXPECT_EQ(r.out, "ComInitial false\nQKClose -\nComInitial false\n");
    EXPECT_EQ(Count(r.err, reason), 2u) << r.err;
}

// --- The control module -----------------------------------------------------

TEST(PalvexModule, RunsTheBuildTreeModuleUntilOneIsRegisteredAndThenTheRegisteredOne) {
    testsupport::CTempConfigHome home;
    ProgramRun r = RunPalvex(Split("--verbose GetSendStepNum"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "GetSendStepNum 0\n");
    EXPECT_NE(r.err.find("control module " PALVEX_MODULE_PATH " (from the build tree)"),
              std::string::npos)
        << r.err;

    r = RunPalvex({"register"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("registered " PALVEX_MODULE_PATH " as PALVEX.PalvexCtrl.1 " PALVEX_CLSID_TEXT),
        std::string::npos)
        << r.out;
    r = RunPalvex(Split("--verbose GetSendStepNum"));
    EXPECT_EQ(r.out, "GetSendStepNum 0\n");
    EXPECT_NE(r.err.find("(registered for the class)"), std::string::npos) << r.err;

    r = RunPalvex({"unregister"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = RunPalvex(Split("--verbose GetSendStepNum"));
    EXPECT_NE(r.err.find("(from the build tree)"), std::string::npos) << r.err;
}

TEST(PalvexModule, ReportsAFailedRegistrationWithItsCode) {
    testsupport::CTempConfigHome home;
    // A value where the class keys must go: no class can be registered.
    ASSERT_TRUE(std::filesystem::create_directories(home.CurrentUserPath("SOFTWARE\\Classes")));
    ASSERT_TRUE(testsupport::WriteFile(home.CurrentUserPath("SOFTWARE\\Classes\\CLSID"), "x"));
    const ProgramRun r = RunPalvex({"register"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("failed: 0x80040201"), std::string::npos) << r.err;
}

TEST(PalvexModule, FindsTheModuleInstalledBesideTheProgram) {
    cli_test::TempDir dir;
    const std::string bin = dir.Path() + "/bin";
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(PALVEX_PROGRAM, bin + "/palvex");
    // A copy of palvex away from its build tree has no module to run.
    ProgramRun r = RunProgram(bin + "/palvex", Split("GetVersion"));
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no control module for " PALVEX_CLSID_TEXT), std::string::npos) << r.err;

    std::filesystem::copy_file(PALVEX_MODULE_PATH, bin + "/libpalvex.so.1");
    r = RunProgram(bin + "/palvex", Split("--verbose GetVersion"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "GetVersion -1\n");
    EXPECT_NE(r.err.find(bin + "/libpalvex.so.1 (installed beside the program)"), std::string::npos)
        << r.err;
}

TEST(PalvexModule, HelpsWithoutAModuleAndSaysTheMethodListNeedsOne) {
    cli_test::TempDir dir;
    const std::string program = dir.Path() + "/palvex";
    std::filesystem::copy_file(PALVEX_PROGRAM, program);
    const ProgramRun r = RunProgram(program, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: palvex", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("--raw-text"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("no control module could be loaded"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Methods (names ignore case)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("NetInitial"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("no control module for " PALVEX_CLSID_TEXT), std::string::npos) << r.err;
}

// palvex beside a module whose methods are none of the link control's.
class ForeignModule : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::copy_file(PALVEX_PROGRAM, dir.Path() + "/palvex");
        std::filesystem::copy_file(PALVEX_CLI_TEST_MODULE, dir.Path() + "/libpalvex.so.1");
    }
    ProgramRun Run(const std::string& line) {
        return RunProgram(dir.Path() + "/palvex", Split(line));
    }

    cli_test::TempDir dir;
};

TEST_F(ForeignModule, CallsTheMethodsTheLoadedModuleDescribes) {
    const ProgramRun r = Run("--verbose Twice 21 : greet : Twice -7 : Greet");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Twice 42\nGreet true \"hi 1\"\nTwice -14\nGreet true \"hi 2\"\n");
    EXPECT_NE(r.err.find(dir.Path() + "/libpalvex.so.1 (installed beside the program)"),
              std::string::npos)
        << r.err;
}

TEST_F(ForeignModule, KnowsNoneOfTheLinkControlsMethods) {
    ProgramRun r = Run("Twice 1 : GetVersion");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("unknown method \"GetVersion\""), std::string::npos) << r.err;
    r = Run("Twice 1 2");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Twice takes 1 argument (Value), 2 given"), std::string::npos) << r.err;
    r = Run("Twice 1 : Vanish 3");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Vanish cannot be called from the command line: parameter Unknown (long) "
                         "has no argument form"),
              std::string::npos)
        << r.err;
}

TEST_F(ForeignModule, ListsTheModulesMethodsInItsHelp) {
    const ProgramRun r = Run("--help");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n    1  Twice   Value -> number\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n    2  Greet   -> true|false \"bStr\"\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n    5  Vanish  -> (not callable from the command line)\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("NetInitial 0"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("lpBuff (SendPicture)"), std::string::npos) << r.out;
}

// The one description of the type library: what the module prints is the
// IDL the Windows build compiles, word for word.
TEST(PalvexModule, PrintsTheTypeLibraryOfTheModuleAsTheCommittedIdl) {
    const ProgramRun r = RunPalvex({"typelib"});
    EXPECT_EQ(r.status, 0);
    std::ifstream committed(PALVEX_COMMITTED_IDL, std::ios::binary);
    const std::string idl((std::istreambuf_iterator<char>(committed)),
                          std::istreambuf_iterator<char>());
    ASSERT_FALSE(idl.empty());
    EXPECT_EQ(r.out, idl);
    EXPECT_NE(r.out.find("[id(37)] VARIANT_BOOL QKSetup(__int3264 lpProperty);"),
              std::string::npos);
    EXPECT_EQ(RunPalvex({"typelib", "extra"}).status, 2);
}

TEST(PalvexModule, DrawsTheDesignTimePictureAsAPngImage) {
    cli_test::TempDir dir;
    const std::string path = dir.Path() + "/control.png";
    const ProgramRun r = RunPalvex({"draw", path, "40x20"});
    ASSERT_EQ(r.status, 0) << r.err;

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << image.message;
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0);
    ASSERT_EQ(image.width, 40u);
    ASSERT_EQ(image.height, 20u);
    auto at = [&](unsigned x, unsigned y) {
        const std::uint8_t* p = &pixels[(y * 40 + x) * 4];
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    const std::vector<int> white{255, 255, 255, 255}, black{0, 0, 0, 255};
    EXPECT_EQ(at(0, 0), white);
    EXPECT_EQ(at(39, 19), white);
    EXPECT_EQ(at(20, 10), white);
    EXPECT_EQ(at(20, 0), black);
    EXPECT_EQ(at(0, 10), black);

    EXPECT_EQ(RunPalvex({"draw", path, "0x20"}).status, 2);
    EXPECT_EQ(RunPalvex({"draw", dir.Path() + "/no/such/dir.png"}).status, 2);
}

TEST(PalvexModule, DrivesASimulatedCardThroughTheLoadedModule) {
    automation_test::CardsimProcess card(CARDSIM_PROGRAM);
    ASSERT_NE(card.Port(), 0u);
    const ProgramRun r =
        RunPalvex(Split("--verbose NetInitial 0 127.0.0.1 " + std::to_string(card.Port()) +
                        " 1000 : SetLedProperty 1 256 64 : QKGetProperty : QKClose"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("NetInitial true\nSetLedProperty true\nQKGetProperty true \"DDDD7", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\nQKClose -\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("control module"), std::string::npos) << r.err;
}

} // namespace
