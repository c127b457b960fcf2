// Exclusive ports: a serial port belongs to one control at a time. A second
// control in the same process, a control in another process, and two
// processes racing for a free port: the second always fails, also when the
// process is root (which the terminal's own exclusive flag lets through).
#include "control/link/palvex_ctrl.h"
#include "tests/link/pty_pair.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using testing_support::CPtyPair;

namespace {

constexpr int kPort = 23;

// Runs `body` in a child process; its exit status.
template <class F> int InChild(F body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

} // namespace

TEST(ExclusivePort, ASecondControlInTheSameProcessAlwaysFails) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    for (int round = 0; round < 50; ++round) {
        CPalvexCtrl first;
        CPalvexCtrl second;
        ASSERT_TRUE(first.ComInitial(kPort, 9600, 100)) << "round " << round;
        EXPECT_FALSE(second.ComInitial(kPort, 9600, 100)) << "round " << round;
        EXPECT_FALSE(second.ModemInitial(kPort, 100)) << "round " << round;
        EXPECT_FALSE(second.IsLinkOpen());
        // The refused control did not disturb the first one's line.
        EXPECT_TRUE(first.IsLinkOpen());
        first.QKClose();
        ASSERT_TRUE(second.ComInitial(kPort, 9600, 100))
            << "round " << round << ": not released on close";
        second.QKClose();
    }
}

TEST(ExclusivePort, AControlInAnotherProcessAlwaysFailsWhileThePortIsHeld) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl holder;
    ASSERT_TRUE(holder.ComInitial(kPort, 9600, 100));
    for (int round = 0; round < 20; ++round) {
        const int rc = InChild([] {
            CPalvexCtrl other;
            return other.ComInitial(kPort, 9600, 100) ? 1 : 0;
        });
        EXPECT_EQ(rc, 0) << "round " << round << ": the other process opened the held port";
    }
    holder.QKClose();
    EXPECT_EQ(InChild([] {
                  CPalvexCtrl other;
                  return other.ComInitial(kPort, 9600, 100) ? 0 : 1;
              }),
              0)
        << "the port stayed locked after QKClose";
}

TEST(ExclusivePort, OfTwoProcessesRacingForAFreePortExactlyOneWins) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    for (int round = 0; round < 30; ++round) {
        // Both wait at a pipe and try at the same moment; each holds what it
        // got until told to go, so a late opener cannot profit from a close.
        int go[2], hold[2], results[2];
        ASSERT_EQ(::pipe(go), 0);
        ASSERT_EQ(::pipe(hold), 0);
        ASSERT_EQ(::pipe(results), 0);
        pid_t racers[2];
        for (pid_t& racer : racers) {
            racer = ::fork();
            ASSERT_GE(racer, 0);
            if (racer == 0) {
                char c;
                ::close(go[1]);
                ::close(hold[1]);
                (void)!::read(go[0], &c, 1);
                CPalvexCtrl c1;
                const char won = c1.ComInitial(kPort, 9600, 100) ? 'W' : 'L';
                (void)!::write(results[1], &won, 1);
                (void)!::read(hold[0], &c, 1);
                c1.QKClose();
                ::_exit(0);
            }
        }
        ::close(go[0]);
        ::close(hold[0]);
        ::close(results[1]);
        ::close(go[1]); // both start now
        int winners = 0;
        for (int i = 0; i < 2; ++i) {
            char r = 0;
            ASSERT_EQ(::read(results[0], &r, 1), 1);
            if (r == 'W') ++winners;
        }
        ::close(hold[1]); // both may end now
        ::close(results[0]);
        for (pid_t racer : racers)
            ::waitpid(racer, nullptr, 0);
        EXPECT_EQ(winners, 1) << "round " << round;
    }
}

TEST(ExclusivePort, AHolderThatDiesWithoutClosingReleasesThePort) {
    CPtyPair pty;
    pty.MapToPort(kPort);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        CPalvexCtrl c;
        const char opened = c.ComInitial(kPort, 9600, 100) ? 'Y' : 'N';
        (void)!::write(ready[1], &opened, 1);
        for (;;)
            ::pause();
    }
    char opened = 0;
    ASSERT_EQ(::read(ready[0], &opened, 1), 1);
    ASSERT_EQ(opened, 'Y');
    CPalvexCtrl c;
    EXPECT_FALSE(c.ComInitial(kPort, 9600, 100));
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    // Running as root the terminal's exclusive flag (which outlives a killed
    // holder while the simulated side keeps the terminal) does not stop this
    // open; the lock, which dies with its holder, is what counted before.
    if (::geteuid() == 0) {
        EXPECT_TRUE(c.ComInitial(kPort, 9600, 100));
    }
    c.QKClose();
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(ExclusivePort, RootIsRefusedAsWellAsAnUnprivilegedUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to show that root is refused";
    CPtyPair pty;
    pty.MapToPort(kPort);
    CPalvexCtrl holder;
    ASSERT_TRUE(holder.ComInitial(kPort, 9600, 100));
    // Root: refused by the lock although the terminal flag would let it in.
    CPalvexCtrl root;
    EXPECT_FALSE(root.ComInitial(kPort, 9600, 100));
    // A plain open by root passes the terminal flag: the lock is what stops
    // a second control.
    const int raw = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(raw, 0) << "root is expected to pass the terminal's exclusive flag";
    if (raw >= 0) ::close(raw);
    // An unprivileged user is refused as well.
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
    const int rc = InChild([] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 2;
        CPalvexCtrl other;
        return other.ComInitial(kPort, 9600, 100) ? 1 : 0;
    });
    EXPECT_EQ(rc, 0) << "an unprivileged process opened the held port";
    holder.QKClose();
}
