// The reasons behind failed link operations, seen through LastLinkError() and
// through the trace sink, on real descriptors.
#include "control/link/palvex_ctrl.h"
#include "control/protocol/link_error.h"
#include "platform/unique_fd.h"
#include "tests/link/pty_pair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using palvex::CUniqueFd;
using palvex::LinkError;
using palvex::LinkErrorKind;
using palvex::LinkOperation;
using testing_support::CPtyPair;

namespace {

constexpr int kPort = 9;

// The link-error events a control's trace sink received.
struct SFailureLog {
    struct SEntry {
        std::string link;
        LinkOperation operation;
        LinkError error;
        int attempt;
    };
    std::vector<SEntry> entries;

    static void Sink(void* self, const palvex::TraceEvent& e) {
        if (e.IsLinkError())
            static_cast<SFailureLog*>(self)->entries.push_back(
                SEntry{e.link, e.operation, e.error, e.attempt});
    }
};

// Points PALVEX_COM9 at `path` for the life of the object.
class CMappedPort {
  public:
    explicit CMappedPort(const std::string& path) { ::setenv("PALVEX_COM9", path.c_str(), 1); }
    ~CMappedPort() { ::unsetenv("PALVEX_COM9"); }
    CMappedPort(const CMappedPort&) = delete;
    CMappedPort& operator=(const CMappedPort&) = delete;
};

// What one open case leaves behind until the control has tried the port.
struct SOpenSetup {
    std::string path;
    std::shared_ptr<void> keep; // whatever must stay alive meanwhile
};

struct SOpenCase {
    const char* name;
    std::function<SOpenSetup()> setup;
    LinkErrorKind kind;
    std::vector<int> errnos; // any of these is right
};

std::string TempFile() {
    char path[] = "/tmp/palvex-linkerr-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd >= 0) ::close(fd);
    return path;
}

void PrintTo(const SOpenCase& c, std::ostream* out) {
    *out << c.name;
}

class OpenFailure : public testing::TestWithParam<SOpenCase> {};

} // namespace

TEST_P(OpenFailure, IsReportedWithItsReasonThroughTheAccessorAndTheTrace) {
    const SOpenCase& tc = GetParam();
    const SOpenSetup setup = tc.setup();
    CMappedPort mapped(setup.path);
    SFailureLog log;
    CPalvexCtrl c;
    c.SetTraceSink(&SFailureLog::Sink, &log);

    EXPECT_FALSE(c.ComInitial(kPort, 9600, 100));
    EXPECT_FALSE(c.IsLinkOpen());

    const LinkError e = c.LastLinkError();
    EXPECT_EQ(e.kind, tc.kind) << palvex::LinkErrorText(e);
    EXPECT_NE(std::find(tc.errnos.begin(), tc.errnos.end(), e.sysErrno), tc.errnos.end())
        << palvex::LinkErrorText(e);
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].link, "COM9");
    EXPECT_EQ(log.entries[0].operation, LinkOperation::Open);
    EXPECT_EQ(log.entries[0].attempt, 0);
    EXPECT_EQ(log.entries[0].error, e);
}

INSTANTIATE_TEST_SUITE_P(
    SerialPort, OpenFailure,
    testing::Values(
        SOpenCase{"MissingPath",
                  [] {
                      return SOpenSetup{"/nonexistent/ttyPalvex", nullptr};
                  },
                  LinkErrorKind::NoSuchDevice,
                  {ENOENT}},
        SOpenCase{"RegularFile",
                  [] {
                      const std::string path = TempFile();
                      return SOpenSetup{path, std::shared_ptr<void>(nullptr, [path](void*) {
                                            ::unlink(path.c_str());
                                        })};
                  },
                  LinkErrorKind::NotASerialDevice,
                  {ENOTTY}},
        SOpenCase{"DevNull",
                  [] {
                      return SOpenSetup{"/dev/null", nullptr};
                  },
                  LinkErrorKind::NotASerialDevice,
                  {ENOTTY}},
        SOpenCase{"PtyHeldByAnotherControl",
                  [] {
                      auto pty = std::make_shared<CPtyPair>();
                      auto holder = std::make_shared<CPalvexCtrl>();
                      ::setenv("PALVEX_COM9", pty->SlavePath().c_str(), 1);
                      if (!holder->ComInitial(kPort, 9600, 100)) ADD_FAILURE() << "holder";
                      return SOpenSetup{
                          pty->SlavePath(),
                          std::make_shared<
                              std::pair<std::shared_ptr<CPtyPair>, std::shared_ptr<CPalvexCtrl>>>(
                              pty, holder)};
                  },
                  // flock as root or within this process; TIOCEXCL otherwise
                  LinkErrorKind::Busy,
                  {EWOULDBLOCK, EBUSY}}),
    [](const testing::TestParamInfo<SOpenCase>& info) { return std::string(info.param.name); });

TEST(LinkError, AnUnmappedPortNumberIsNoSuchDevice) {
    SFailureLog log;
    CPalvexCtrl c;
    c.SetTraceSink(&SFailureLog::Sink, &log);
    EXPECT_FALSE(c.ComInitial(0, 9600, 100));
    EXPECT_EQ(c.LastLinkError(), (LinkError{LinkErrorKind::NoSuchDevice, 0}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].link, "COM0");
}

TEST(LinkError, ReportsPermissionDeniedForAPortTheUserMayNotOpen) {
    CPtyPair pty;
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
    CMappedPort mapped(pty.SlavePath());
    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    CUniqueFd readEnd(out[0]);
    const pid_t child = ::fork();
    if (child == 0) {
        // Root passes any permission check: try as an ordinary user instead.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        CPalvexCtrl c;
        if (c.ComInitial(kPort, 9600, 100)) ::_exit(1);
        const std::string text = palvex::LinkErrorText(c.LastLinkError());
        const ssize_t w = ::write(out[1], text.data(), text.size());
        ::_exit(w == static_cast<ssize_t>(text.size()) ? 0 : 3);
    }
    ::close(out[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "running as root and no user to drop to";
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the open succeeded or the report was lost";
    char text[128] = {};
    ASSERT_GT(::read(readEnd.Get(), text, sizeof text - 1), 0);
    EXPECT_STREQ(text, "permission denied (EACCES)");
}

TEST(LinkError, ReportsARefusedConnection) {
    // Bound but not listening: a connect to it is refused at once.
    CUniqueFd bound(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(bound);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(bound.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    socklen_t len = sizeof sa;
    ASSERT_EQ(::getsockname(bound.Get(), reinterpret_cast<sockaddr*>(&sa), &len), 0);
    const unsigned port = ntohs(sa.sin_port);

    SFailureLog log;
    CPalvexCtrl c;
    c.SetTraceSink(&SFailureLog::Sink, &log);
    EXPECT_FALSE(c.NetInitial(0, 0x7F000001, static_cast<short>(port), 100));
    EXPECT_FALSE(c.IsLinkOpen());
    EXPECT_EQ(c.LastLinkError(), (LinkError{LinkErrorKind::ConnectionRefused, ECONNREFUSED}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].link, "127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(log.entries[0].operation, LinkOperation::Open);
}

TEST(LinkError, ASuccessfulOpenStartsWithNoReason) {
    CPalvexCtrl c;
    EXPECT_FALSE(c.ComInitial(0, 9600, 100));
    ASSERT_TRUE(c.LastLinkError().Failed());
    CPtyPair pty;
    pty.MapToPort(kPort);
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 100));
    EXPECT_FALSE(c.LastLinkError().Failed());
}

TEST(LinkError, ReportsEveryTimedOutReadOfAnExchangeWhileItsResultStaysFalse) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    SFailureLog log;
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 100));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.SetTraceSink(&SFailureLog::Sink, &log);
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0)); // the card never answers
    EXPECT_EQ(c.LastLinkError(), (LinkError{LinkErrorKind::TimedOut, 0}));
    ASSERT_EQ(log.entries.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(log.entries[i].operation, LinkOperation::Read);
        EXPECT_EQ(log.entries[i].attempt, i + 1);
    }
}

TEST(LinkError, ReportsADeviceThatWentAwayAsDisconnected) {
    auto pty = std::make_unique<CPtyPair>();
    pty->MapToPort(kPort);
    SFailureLog log;
    CPalvexCtrl c;
    ASSERT_TRUE(c.ComInitial(kPort, 9600, 100));
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.SetTraceSink(&SFailureLog::Sink, &log);
    pty->CloseMaster();
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_EQ(c.LastLinkError().kind, LinkErrorKind::Disconnected)
        << palvex::LinkErrorText(c.LastLinkError());
    ASSERT_FALSE(log.entries.empty());
    EXPECT_EQ(log.entries[0].error.kind, LinkErrorKind::Disconnected);
}

namespace {

struct STextCase {
    LinkError error;
    const char* text;
};

class LinkErrorText : public testing::TestWithParam<STextCase> {};

} // namespace

TEST_P(LinkErrorText, IsOneEnglishLineWithTheErrnoName) {
    EXPECT_EQ(palvex::LinkErrorText(GetParam().error), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LinkErrorText,
    testing::Values(
        STextCase{{LinkErrorKind::PermissionDenied, EACCES}, "permission denied (EACCES)"},
        STextCase{{LinkErrorKind::Busy, EWOULDBLOCK}, "busy, held by another program (EAGAIN)"},
        STextCase{{LinkErrorKind::NotASerialDevice, ENOTTY}, "not a serial device (ENOTTY)"},
        STextCase{{LinkErrorKind::TimedOut, 0}, "timed out"},
        STextCase{{LinkErrorKind::None, 0}, "no error"},
        STextCase{{LinkErrorKind::IoError, 99999}, "I/O error (errno 99999)"}));

namespace {

struct SErrnoCase {
    LinkOperation op;
    int err;
    LinkErrorKind kind;
};

class LinkErrorFromErrno : public testing::TestWithParam<SErrnoCase> {};

} // namespace

TEST_P(LinkErrorFromErrno, ClassifiesBySystemErrorAndOperation) {
    const SErrnoCase& tc = GetParam();
    EXPECT_EQ(palvex::LinkErrorFromErrno(tc.op, tc.err), (LinkError{tc.kind, tc.err}));
}

INSTANTIATE_TEST_SUITE_P(
    Errnos, LinkErrorFromErrno,
    testing::Values(SErrnoCase{LinkOperation::Open, ENOENT, LinkErrorKind::NoSuchDevice},
                    SErrnoCase{LinkOperation::Read, ENODEV, LinkErrorKind::Disconnected},
                    SErrnoCase{LinkOperation::Open, EWOULDBLOCK, LinkErrorKind::Busy},
                    SErrnoCase{LinkOperation::Open, EBUSY, LinkErrorKind::Busy},
                    SErrnoCase{LinkOperation::Open, EPERM, LinkErrorKind::PermissionDenied},
                    SErrnoCase{LinkOperation::Write, EPIPE, LinkErrorKind::Disconnected},
                    SErrnoCase{LinkOperation::Open, EHOSTUNREACH, LinkErrorKind::Unreachable},
                    SErrnoCase{LinkOperation::Open, ECONNREFUSED, LinkErrorKind::ConnectionRefused},
                    SErrnoCase{LinkOperation::Read, EIO, LinkErrorKind::IoError}));

TEST(LinkError, ReportsANetworkPeerThatClosedTheConnectionAsDisconnected) {
    CUniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(listener);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    ASSERT_EQ(::listen(listener.Get(), 1), 0);
    socklen_t len = sizeof sa;
    ASSERT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&sa), &len), 0);

    SFailureLog log;
    CPalvexCtrl c;
    ASSERT_TRUE(c.NetInitial(0, 0x7F000001, static_cast<short>(ntohs(sa.sin_port)), 1000));
    CUniqueFd peer(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    ASSERT_TRUE(peer);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.SetTraceSink(&SFailureLog::Sink, &log);
    peer.Reset(); // the card hangs up before it answers
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_EQ(c.LastLinkError().kind, LinkErrorKind::Disconnected)
        << palvex::LinkErrorText(c.LastLinkError());
    ASSERT_FALSE(log.entries.empty());
    EXPECT_EQ(log.entries[0].error.kind, LinkErrorKind::Disconnected);
}

TEST(LinkError, AModemPortThatIsNoTerminalIsReportedByModemInitial) {
    CMappedPort mapped("/dev/null");
    SFailureLog log;
    CPalvexCtrl c;
    c.SetTraceSink(&SFailureLog::Sink, &log);
    EXPECT_FALSE(c.ModemInitial(kPort, 100));
    EXPECT_EQ(c.LastLinkError(), (LinkError{LinkErrorKind::NotASerialDevice, ENOTTY}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_EQ(log.entries[0].operation, LinkOperation::Open);
}

TEST(LinkError, TheStandardErrorTracePrintsOneLinePerFailure) {
    CMappedPort mapped("/nonexistent/ttyPalvex");
    ::setenv("PALVEX_TRACE", "1", 1);
    auto c = std::make_unique<CPalvexCtrl>(); // reads PALVEX_TRACE when made
    ::unsetenv("PALVEX_TRACE");
    int err[2];
    ASSERT_EQ(::pipe2(err, O_CLOEXEC | O_NONBLOCK), 0);
    CUniqueFd readEnd(err[0]);
    CUniqueFd savedStderr(::dup(STDERR_FILENO));
    std::fflush(stderr);
    ::dup2(err[1], STDERR_FILENO);
    ::close(err[1]);
    const BOOL opened = c->ComInitial(kPort, 9600, 100);
    std::fflush(stderr);
    ::dup2(savedStderr.Get(), STDERR_FILENO);
    EXPECT_FALSE(opened);
    char text[256] = {};
    ASSERT_GT(::read(readEnd.Get(), text, sizeof text - 1), 0);
    EXPECT_STREQ(text, "palvex: COM9 open failed: no such device (ENOENT): "
                       "/nonexistent/ttyPalvex does not exist\n");
}
