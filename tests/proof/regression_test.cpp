// Faults found while proving the control under faults and bad input, each
// with the case that showed it. The sanitizer build (bash dev.sh test runs
// it) reports the memory faults these cases used to cause.
#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

using testing_support::CTestControl;

// SwitchToBank, CopyToBank and ClearBank sent their two-byte payload from a
// two-byte buffer, and the exchange copied the acknowledgement (up to seven
// bytes with its terminator) back into that buffer: a stack overflow on every
// acknowledged bank command.
TEST(BankCommands, KeepTheAcknowledgementInsideTheirPayloadBuffer) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.autoAck = true;
    for (short bank : {0, 1, 2, 3, -1}) {
        EXPECT_TRUE(c.SwitchToBank(bank)) << bank;
        EXPECT_TRUE(c.CopyToBank(bank)) << bank;
        EXPECT_TRUE(c.ClearBank(bank)) << bank;
    }
    // Each was one frame with the letter and the bank's lowest bit.
    ASSERT_EQ(c.link.written.size(), 15u);
    EXPECT_EQ(c.link.written[0][9], 'L');
    EXPECT_EQ(c.link.written[0][10], 0);
    EXPECT_EQ(c.link.written[4][9], 'M');
    EXPECT_EQ(c.link.written[4][10], 1);
    EXPECT_EQ(c.link.written[14][9], 'N');
    EXPECT_EQ(c.link.written[14][10], 1);
}
