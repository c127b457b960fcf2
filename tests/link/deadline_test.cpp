#include "control/protocol/deadline.h"
#include "platform/ports/port_map.h"

#include <gtest/gtest.h>

#include <cstdlib>

using palvex::CDeadline;

TEST(Deadline, CountsDownFromItsStartAndNeverGoesNegative) {
    CDeadline d(10000);
    EXPECT_GT(d.RemainingMs(), 9000);
    EXPECT_LE(d.RemainingMs(), 10000);
    EXPECT_FALSE(d.Expired());
    CDeadline past(-5);
    EXPECT_EQ(past.RemainingMs(), 0);
    EXPECT_TRUE(past.Expired());
}

TEST(Deadline, ExpiresOnceItsTimeHasPassed) {
    // The start is read before the deadline is made: read after, the time
    // between the two could let the deadline expire "early" under load.
    const auto start = CDeadline::NowNs();
    CDeadline d(1);
    while (!d.Expired())
        ASSERT_LT(CDeadline::NowNs() - start, 1000000000);
    EXPECT_GE(CDeadline::NowNs() - start, 1000000);
}

TEST(PortMap, PrefersTheEnvironmentAndOpensNothingWhereNoDeviceIsPresent) {
    ::unsetenv("PALVEX_COM7");
    ::setenv("PALVEX_DEVICE_ROOT", "/nonexistent-device-root", 1);
    EXPECT_EQ(palvex::ports::ResolveComDevice(7), "");
    ::setenv("PALVEX_COM7", "/dev/ttyUSB0", 1);
    EXPECT_EQ(palvex::ports::ResolveComDevice(7), "/dev/ttyUSB0");
    ::setenv("PALVEX_COM7", "", 1);
    EXPECT_EQ(palvex::ports::ResolveComDevice(7), "");
    ::unsetenv("PALVEX_COM7");
    EXPECT_EQ(palvex::ports::ResolveComDevice(0), "");
    EXPECT_EQ(palvex::ports::ResolveComDevice(-3), "");
    ::unsetenv("PALVEX_DEVICE_ROOT");
}
