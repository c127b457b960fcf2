// The built palvex program: output lines, exit status and --trace, run as a
// child process with its output captured in files.
#include "control/protocol/crc16.h"
#include "control/protocol/frame.h"
#include "tests/automation/cli_test_support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef PALVEX_PROGRAM
#error "PALVEX_PROGRAM must name the palvex executable"
#endif

extern char** environ;

namespace {

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

// Runs palvex with `args` in the test's environment without PALVEX_TRACE.
ProgramRun RunPalvex(const std::vector<std::string>& args) {
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
    std::string program = PALVEX_PROGRAM;
    argv.push_back(program.data());
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
    EXPECT_NE(r.err.find(" attempt 5/5 "), std::string::npos) << r.err;

    r = RunPalvex(Split(calls));
    EXPECT_EQ(r.out, expectedOut);
    EXPECT_EQ(r.err, "");
}

} // namespace
