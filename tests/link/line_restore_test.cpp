// A serial line gives the port back with the settings it found: after Close,
// after the line is destroyed, after QKClose, and when an open fails.
#include "control/link/linux_termios2.h"
#include "control/link/palvex_ctrl.h"
#include "control/link/serial_line.h"
#include "platform/unique_fd.h"
#include "tests/link/pty_pair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

using palvex::CSerialLine;
using palvex::CUniqueFd;
using testing_support::CPtyPair;

namespace {

constexpr int kPort = 9;

// The slave side of a pty, opened by the test, set to 1200 bit/s in cooked
// mode: line editing, echo, CR/LF translation, output processing.
struct SCookedLine {
    CPtyPair pty;
    CUniqueFd slave;
    termios found{};

    SCookedLine() : slave(::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios t{};
        ::tcgetattr(slave.Get(), &t);
        t.c_iflag |= ICRNL | IXON;
        t.c_oflag |= OPOST | ONLCR;
        t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
        ::cfsetispeed(&t, B1200);
        ::cfsetospeed(&t, B1200);
        ::tcsetattr(slave.Get(), TCSANOW, &t);
        ::tcgetattr(slave.Get(), &found);
    }

    termios Now() const {
        termios t{};
        ::tcgetattr(slave.Get(), &t);
        return t;
    }
};

void ExpectSameSettings(const termios& now, const termios& found) {
    EXPECT_EQ(now.c_iflag, found.c_iflag);
    EXPECT_EQ(now.c_oflag, found.c_oflag);
    EXPECT_EQ(now.c_cflag, found.c_cflag);
    EXPECT_EQ(now.c_lflag, found.c_lflag);
    EXPECT_EQ(::cfgetospeed(&now), B1200);
    EXPECT_EQ(::cfgetispeed(&now), B1200);
    for (int i = 0; i < NCCS; ++i)
        EXPECT_EQ(now.c_cc[i], found.c_cc[i]) << "c_cc[" << i << "]";
}

struct SCloseCase {
    const char* name;
    // Opens the slave at 57600 bit/s, then gives it back its own way.
    std::function<void(SCookedLine&)> openAndLetGo;
};

void PrintTo(const SCloseCase& c, std::ostream* out) {
    *out << c.name;
}

// While the line is open it is raw at 57600 bit/s, or the test shows nothing.
void ExpectRawAt57600(const SCookedLine& line) {
    unsigned baud = 0;
    ASSERT_TRUE(palvex::GetLineSpeed(line.slave.Get(), &baud));
    EXPECT_EQ(baud, 57600u);
    EXPECT_EQ(line.Now().c_lflag & (ICANON | ECHO), 0u);
}

class LineGivenBack : public testing::TestWithParam<SCloseCase> {};

} // namespace

TEST_P(LineGivenBack, WithTheSpeedAndModesItWasFoundWith) {
    SCookedLine line;
    ASSERT_EQ(::cfgetospeed(&line.found), B1200);
    ASSERT_NE(line.found.c_lflag & ICANON, 0u);
    GetParam().openAndLetGo(line);
    ExpectSameSettings(line.Now(), line.found);
}

INSTANTIATE_TEST_SUITE_P(
    SerialLine, LineGivenBack,
    testing::Values(SCloseCase{"Close",
                               [](SCookedLine& line) {
                                   CSerialLine serial;
                                   ASSERT_TRUE(serial.Open(line.pty.SlavePath(), 57600, "COM9"));
                                   ExpectRawAt57600(line);
                                   serial.Close();
                               }},
                    SCloseCase{"Destructor",
                               [](SCookedLine& line) {
                                   auto serial = std::make_unique<CSerialLine>();
                                   ASSERT_TRUE(serial->Open(line.pty.SlavePath(), 57600, "COM9"));
                                   ExpectRawAt57600(line);
                               }},
                    SCloseCase{"QKClose",
                               [](SCookedLine& line) {
                                   line.pty.MapToPort(kPort);
                                   CPalvexCtrl c;
                                   ASSERT_TRUE(c.ComInitial(kPort, static_cast<short>(57600), 100));
                                   ExpectRawAt57600(line);
                                   c.QKClose();
                               }},
                    SCloseCase{"ReopenAtAnotherSpeed",
                               [](SCookedLine& line) {
                                   // The second open saves what the first gave back,
                                   // not the first one's raw line.
                                   CSerialLine serial;
                                   ASSERT_TRUE(serial.Open(line.pty.SlavePath(), 9600, "COM9"));
                                   ASSERT_TRUE(serial.Open(line.pty.SlavePath(), 57600, "COM9"));
                                   ExpectRawAt57600(line);
                               }}),
    [](const testing::TestParamInfo<SCloseCase>& info) { return std::string(info.param.name); });

TEST(SerialLine, AnOpenRefusedBecauseThePortIsHeldChangesNothing) {
    SCookedLine line;
    // Another open file description holds the lock, as another program would.
    CUniqueFd holder(::open(line.pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.Get(), LOCK_EX | LOCK_NB), 0);
    CSerialLine serial;
    EXPECT_FALSE(serial.Open(line.pty.SlavePath(), 57600, "COM9"));
    EXPECT_EQ(serial.LastError().kind, palvex::LinkErrorKind::Busy);
    ExpectSameSettings(line.Now(), line.found);
}

// The step every failed open after the settings changed takes: what
// SetRaw8N1 changed, the saved settings undo.
TEST(SerialLine, RestoringTheSavedSettingsUndoesRawModeAndTheSpeed) {
    SCookedLine line;
    palvex::SSavedLineSettings saved;
    ASSERT_TRUE(palvex::SaveLineSettings(line.slave.Get(), saved));
    ASSERT_TRUE(palvex::SetRaw8N1(line.slave.Get(), 57600));
    ExpectRawAt57600(line);
    ASSERT_TRUE(palvex::RestoreLineSettings(line.slave.Get(), saved));
    ExpectSameSettings(line.Now(), line.found);

    // No terminal, no settings: nothing is saved and nothing restored.
    palvex::SSavedLineSettings nothing;
    CUniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    EXPECT_FALSE(palvex::SaveLineSettings(devNull.Get(), nothing));
    EXPECT_FALSE(palvex::RestoreLineSettings(line.slave.Get(), nothing));
}
