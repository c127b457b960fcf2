// The built palvex program: output lines, exit status and --trace, run as a
// child process with its output captured in files.
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
