// Why a port did not open, as the user reads it: one text with the link, the
// operation, the reason and a detail that names the device and what to do.
#include "control/link/palvex_ctrl.h"
#include "control/link/port_diagnosis_linux.h"
#include "control/protocol/link_error.h"
#include "tests/link/pty_pair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using palvex::LinkError;
using palvex::LinkErrorKind;
using palvex::LinkOperation;
using testing_support::CPtyPair;

namespace {

constexpr int kPort = 9;

// A folder of its own for the case's files, removed with what is in it.
std::string TempFolder() {
    char path[] = "/tmp/palvex-diag-XXXXXX";
    return ::mkdtemp(path) != nullptr ? path : "";
}

std::shared_ptr<void> RemoveLater(const std::string& folder) {
    return std::shared_ptr<void>(
        nullptr, [folder](void*) { std::system(("rm -rf '" + folder + "'").c_str()); });
}

std::string ThisProcessName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The port to try, what must live until it was tried, and the detail the
// text must end with.
struct SPortSetup {
    std::string path;
    std::string detail;
    std::shared_ptr<void> keep;
};

struct SReasonCase {
    const char* name;
    std::function<SPortSetup()> setup;
    LinkErrorKind kind;
};

void PrintTo(const SReasonCase& c, std::ostream* out) {
    *out << c.name;
}

// The detail the link-error event of the trace carried.
struct SDetailLog {
    std::string detail;
    int events = 0;
    static void Sink(void* self, const palvex::TraceEvent& e) {
        if (!e.IsLinkError()) return;
        auto* log = static_cast<SDetailLog*>(self);
        log->detail = e.detail != nullptr ? e.detail : "";
        ++log->events;
    }
};

class OpenFailureReason : public testing::TestWithParam<SReasonCase> {};

} // namespace

TEST_P(OpenFailureReason, ReachesTheUserWithTheDevicePathAndWhatToDo) {
    const SReasonCase& tc = GetParam();
    const SPortSetup setup = tc.setup();
    ::setenv("PALVEX_COM9", setup.path.c_str(), 1);
    SDetailLog log;
    CPalvexCtrl c;
    c.SetTraceSink(&SDetailLog::Sink, &log);
    EXPECT_FALSE(c.ComInitial(kPort, 9600, 100));
    ::unsetenv("PALVEX_COM9");

    const LinkError e = c.LastLinkError();
    EXPECT_EQ(e.kind, tc.kind) << c.LastLinkErrorText();
    EXPECT_EQ(c.LastLinkErrorText(),
              "COM9 open failed: " + palvex::LinkErrorText(e) + ": " + setup.detail);
    EXPECT_EQ(log.events, 1);
    EXPECT_EQ(log.detail, setup.detail);
}

INSTANTIATE_TEST_SUITE_P(
    SerialPort, OpenFailureReason,
    testing::Values(
        SReasonCase{"MissingPath",
                    [] {
                        return SPortSetup{"/nonexistent/ttyPalvex",
                                          "/nonexistent/ttyPalvex does not exist", nullptr};
                    },
                    LinkErrorKind::NoSuchDevice},
        SReasonCase{"LinkToAMissingDevice",
                    [] {
                        const std::string dir = TempFolder();
                        const std::string path = dir + "/ttyPalvex";
                        if (::symlink("/nonexistent/ttyUSB7", path.c_str()) != 0)
                            ADD_FAILURE() << "symlink";
                        return SPortSetup{
                            path, path + " is a link to /nonexistent/ttyUSB7, which does not exist",
                            RemoveLater(dir)};
                    },
                    LinkErrorKind::NoSuchDevice},
        SReasonCase{"RegularFile",
                    [] {
                        const std::string dir = TempFolder();
                        const std::string path = dir + "/notes.txt";
                        std::ofstream(path) << "not a port\n";
                        return SPortSetup{path, path + " is not a terminal", RemoveLater(dir)};
                    },
                    LinkErrorKind::NotASerialDevice},
        SReasonCase{
            "Folder",
            [] {
                const std::string dir = TempFolder();
                return SPortSetup{dir, dir + " is a folder, not a terminal", RemoveLater(dir)};
            },
            LinkErrorKind::NotASerialDevice},
        SReasonCase{
            "HeldByAnotherControlOfThisProcess",
            [] {
                auto pty = std::make_shared<CPtyPair>();
                auto holder = std::make_shared<palvex::CSerialLine>();
                if (!holder->Open(pty->SlavePath(), 9600, "COM1")) ADD_FAILURE() << "holder";
                return SPortSetup{
                    pty->SlavePath(),
                    pty->SlavePath() + " is held by " + ThisProcessName() + " (pid " +
                        std::to_string(::getpid()) + ")",
                    std::make_shared<std::pair<std::shared_ptr<CPtyPair>, std::shared_ptr<void>>>(
                        pty, holder)};
            },
            LinkErrorKind::Busy}),
    [](const testing::TestParamInfo<SReasonCase>& info) { return std::string(info.param.name); });

TEST(OpenFailureReason, ANumberWithoutADeviceSaysWhy) {
    CPalvexCtrl c;
    EXPECT_FALSE(c.ComInitial(0, 9600, 100));
    EXPECT_EQ(c.LastLinkErrorText(),
              "COM0 open failed: no such device: no port has a number below 1");
    EXPECT_FALSE(c.ComInitial(3, 9601, 100));
    EXPECT_EQ(c.LastLinkErrorText(),
              "COM3 open failed: speed refused: 9601 bit/s is not a speed of the card: 9600 14400 "
              "28800 38400 57600");
}

namespace {

struct SAccessCase {
    const char* name;
    palvex::SDeviceAccess access;
    const char* detail;
};

void PrintTo(const SAccessCase& c, std::ostream* out) {
    *out << c.name;
}

class PermissionDetail : public testing::TestWithParam<SAccessCase> {};

} // namespace

TEST_P(PermissionDetail, NamesOwnerGroupModeAndTheFix) {
    EXPECT_EQ(palvex::PermissionDetail(GetParam().access, "/usr/share/palvex/udev/60-palvex.rules"),
              GetParam().detail);
}

TEST(PermissionDetail, AGroupThatMayOnlyReadGetsTheUdevRuleNotTheGroup) {
    const std::string detail = palvex::PermissionDetail({"/dev/ttyS0", "root", "tty", 0640, false},
                                                        "/usr/share/palvex/udev/60-palvex.rules");
    EXPECT_NE(detail.find("which lets no group open it; install the udev rule"), std::string::npos)
        << detail;
    EXPECT_EQ(detail.find("usermod"), std::string::npos) << detail;
}

TEST(PermissionDetail, ARuleWhereUdevReadsItIsAppliedNotCopied) {
    for (const char* rule : {"/usr/lib/udev/rules.d/60-palvex-serial.rules",
                             "/etc/udev/rules.d/60-palvex-serial.rules"}) {
        const std::string detail =
            palvex::PermissionDetail({"/dev/ttyUSB1", "root", "root", 0600, false}, rule);
        EXPECT_EQ(detail, "/dev/ttyUSB1 is owned by root:root mode 0600, which lets no group "
                          "open it; the udev rule " +
                              std::string(rule) +
                              " that comes with palvex gives USB serial ports to the group "
                              "'dialout' and to the user at the seat: for such a port, plug it "
                              "in again or run sudo udevadm trigger");
    }
    // Under another prefix udev does not read it: copied into /etc.
    EXPECT_NE(palvex::PermissionDetail({"/dev/ttyUSB1", "root", "root", 0600, false},
                                       "/usr/local/lib/udev/rules.d/60-palvex-serial.rules")
                  .find("sudo cp /usr/local/lib/udev/rules.d/60-palvex-serial.rules "
                        "/etc/udev/rules.d/"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, PermissionDetail,
    testing::Values(
        SAccessCase{"GroupMayUseIt",
                    {"/dev/ttyUSB0", "root", "dialout", 0660, false},
                    "/dev/ttyUSB0 is owned by root:dialout mode 0660; add your user to the group "
                    "'dialout': sudo usermod -aG dialout $USER, then log out and in"},
        SAccessCase{"AlreadyInTheGroup",
                    {"/dev/ttyACM0", "root", "uucp", 0660, true},
                    "/dev/ttyACM0 is owned by root:uucp mode 0660, and this program is in the "
                    "group 'uucp' already: something beyond the mode refuses it (a security "
                    "module, a container's device rules)"},
        SAccessCase{"OnlyTheOwner",
                    {"/dev/ttyUSB1", "root", "root", 0600, false},
                    "/dev/ttyUSB1 is owned by root:root mode 0600, which lets no group open it; "
                    "install the udev rule that comes with palvex (USB serial ports to the group "
                    "'dialout' and to the user at the seat): sudo cp "
                    "/usr/share/palvex/udev/60-palvex.rules /etc/udev/rules.d/ && sudo udevadm "
                    "control --reload && sudo udevadm trigger"},
        SAccessCase{"GroupRootMayUseIt",
                    {"/dev/ttyUSB2", "root", "root", 0660, false},
                    "/dev/ttyUSB2 is owned by root:root mode 0660, a group no user should join "
                    "for one device; install the udev rule that comes with palvex (USB serial "
                    "ports to the group 'dialout' and to the user at the seat): sudo cp "
                    "/usr/share/palvex/udev/60-palvex.rules /etc/udev/rules.d/ && sudo udevadm "
                    "control --reload && sudo udevadm trigger"}),
    [](const testing::TestParamInfo<SAccessCase>& info) { return std::string(info.param.name); });

namespace {

struct SLocksCase {
    const char* name;
    const char* locks;
    long pid;
};

void PrintTo(const SLocksCase& c, std::ostream* out) {
    *out << c.name;
}

class LockHolderPid : public testing::TestWithParam<SLocksCase> {};

} // namespace

// The device looked for: file system 0:0x1a (devpts), inode 5.
TEST_P(LockHolderPid, IsTheProcessOfALockOnTheDevicesInode) {
    EXPECT_EQ(palvex::LockHolderPid(GetParam().locks, 0, 0x1a, 5), GetParam().pid);
}

INSTANTIATE_TEST_SUITE_P(
    ProcLocks, LockHolderPid,
    testing::Values(SLocksCase{"Flock", "1: FLOCK  ADVISORY  WRITE 4321 00:1a:5 0 EOF\n", 4321},
                    SLocksCase{"PosixAfterOtherFiles",
                               "1: POSIX  ADVISORY  WRITE 77 fd:01:5 0 EOF\n"
                               "2: FLOCK  ADVISORY  WRITE 78 00:1a:55 0 EOF\n"
                               "3: POSIX  ADVISORY  WRITE 1234 00:1a:5 0 EOF\n",
                               1234},
                    SLocksCase{"WaiterIsNoHolder",
                               "1: FLOCK  ADVISORY  WRITE 10 00:1b:5 0 EOF\n"
                               "1: -> FLOCK  ADVISORY  WRITE 999 00:1a:5 0 EOF\n",
                               0},
                    SLocksCase{"OpenFileDescriptionLockTellsNoProcess",
                               "1: OFDLCK ADVISORY  WRITE -1 00:1a:5 0 EOF\n", 0},
                    SLocksCase{"LeaseIsNoLock", "1: LEASE  ACTIVE    READ  55 00:1a:5 0 EOF\n", 0},
                    SLocksCase{"NoLocks", "", 0},
                    SLocksCase{"Garbage",
                               "1: FLOCK\nnot a line at all\n1: FLOCK ADVISORY WRITE x 00:1a:5\n",
                               0}),
    [](const testing::TestParamInfo<SLocksCase>& info) { return std::string(info.param.name); });

TEST(LockHolderPid, ReadsTheDeviceNumbersAsHexadecimal) {
    EXPECT_EQ(
        palvex::LockHolderPid("1: FLOCK  ADVISORY  WRITE 42 fd:10:77 0 EOF\n", 0xfd, 0x10, 77), 42);
    EXPECT_EQ(palvex::LockHolderPid("1: FLOCK  ADVISORY  WRITE 42 fd:10:77 0 EOF\n", 253, 10, 77),
              0);
}

namespace {

struct SUucpCase {
    const char* name;
    std::string content;
    long pid;
};

void PrintTo(const SUucpCase& c, std::ostream* out) {
    *out << c.name;
}

class UucpLockPid : public testing::TestWithParam<SUucpCase> {};

std::string BinaryInt(int value) {
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

} // namespace

TEST_P(UucpLockPid, ReadsAsciiAndBinaryLockFiles) {
    EXPECT_EQ(palvex::UucpLockPid(GetParam().content), GetParam().pid);
}

INSTANTIATE_TEST_SUITE_P(
    LockFiles, UucpLockPid,
    testing::Values(SUucpCase{"AsciiTenColumns", "      1234\n", 1234},
                    SUucpCase{"AsciiBare", "987", 987},
                    SUucpCase{"BinaryInt", BinaryInt(2609), 2609},
                    SUucpCase{"BinaryIntOfDigitBytes", BinaryInt(0x3132), 0x3132},
                    SUucpCase{"BinaryNegative", BinaryInt(-1), 0}, SUucpCase{"Empty", "", 0},
                    SUucpCase{"Words", "held by me\n", 0}, SUucpCase{"Zero", "         0\n", 0}),
    [](const testing::TestParamInfo<SUucpCase>& info) { return std::string(info.param.name); });
