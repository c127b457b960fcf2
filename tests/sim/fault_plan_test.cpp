// Fault decisions: reproducible for a seed, in the configured shares, and
// shaped so that a control's checks can notice them.
#include "sim/fault_plan.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

using cardsim::ApplyFaults;
using cardsim::CFaultPlan;
using cardsim::FaultConfig;
using cardsim::FaultDecision;

namespace {

FaultConfig Mixed(std::uint32_t seed) {
    FaultConfig c;
    c.drop = 0.2;
    c.corrupt = 0.3;
    c.truncate = 0.25;
    c.delayShare = 0.5;
    c.delayMs = 40;
    c.seed = seed;
    return c;
}

auto Key(const FaultDecision& d) {
    return std::tuple(d.silent, d.drop, d.corrupt, d.truncate, d.delay, d.corruptIndex, d.corruptBit);
}

} // namespace

TEST(SimFaultPlan, SameSeedGivesTheSameDecisions) {
    CFaultPlan a(Mixed(42));
    CFaultPlan b(Mixed(42));
    CFaultPlan other(Mixed(43));
    int differences = 0;
    for (int i = 0; i < 300; ++i) {
        const FaultDecision da = a.Next(6, false);
        ASSERT_EQ(Key(da), Key(b.Next(6, false))) << "reply " << i;
        if (Key(da) != Key(other.Next(6, false))) ++differences;
    }
    EXPECT_GT(differences, 0);
}

TEST(SimFaultPlan, ResetStartsTheSequenceAgain) {
    CFaultPlan plan(Mixed(9));
    std::vector<bool> first;
    for (int i = 0; i < 50; ++i) first.push_back(plan.Next(6, false).drop);
    plan.Reset(Mixed(9));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(plan.Next(6, false).drop, first[i]) << i;
}

TEST(SimFaultPlan, HonoursTheConfiguredShares) {
    CFaultPlan plan(Mixed(5));
    int drop = 0, corrupt = 0, truncate = 0, delay = 0;
    const int n = 4000;
    for (int i = 0; i < n; ++i) {
        const FaultDecision d = plan.Next(6, false);
        drop += d.drop;
        corrupt += d.corrupt;
        truncate += d.truncate;
        delay += d.delay;
    }
    // Shares of the replies that were not dropped, within a wide margin.
    const int kept = n - drop;
    EXPECT_NEAR(drop / double(n), 0.2, 0.03);
    EXPECT_NEAR(corrupt / double(kept), 0.3, 0.04);
    EXPECT_NEAR(truncate / double(kept), 0.25, 0.04);
    EXPECT_NEAR(delay / double(kept), 0.5, 0.04);
}

TEST(SimFaultPlan, ADroppedReplyGetsNoOtherFault) {
    FaultConfig c = Mixed(3);
    c.drop = 0.5;
    c.corrupt = c.truncate = c.delayShare = 1.0;
    CFaultPlan plan(c);
    for (int i = 0; i < 200; ++i) {
        const FaultDecision d = plan.Next(6, false);
        if (d.drop) EXPECT_FALSE(d.corrupt || d.truncate || d.delay);
        else EXPECT_TRUE(d.corrupt && d.truncate && d.delay);
    }
}

TEST(SimFaultPlan, SilentWithholdsEveryReply) {
    FaultConfig c;
    c.silent = true;
    CFaultPlan plan(c);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(plan.Next(14, true).silent);
}

TEST(SimFaultPlan, DelayNeedsATime) {
    FaultConfig c;
    c.delayShare = 1.0;
    CFaultPlan plan(c);
    EXPECT_FALSE(plan.Next(6, false).delay);
}

TEST(SimFaultPlan, ChangingOneShareKeepsTheOtherDecisions) {
    FaultConfig base = Mixed(11);
    FaultConfig more = base;
    more.corrupt = 0.9;
    more.truncate = 0.0;
    CFaultPlan a(base);
    CFaultPlan b(more);
    for (int i = 0; i < 200; ++i) {
        const FaultDecision da = a.Next(6, false);
        const FaultDecision db = b.Next(6, false);
        EXPECT_EQ(da.drop, db.drop) << i;
        EXPECT_EQ(da.delay, db.delay) << i;
    }
}

TEST(SimFaultPlan, CorruptsAcknowledgementDataAndTheCountOfDataReplies) {
    FaultConfig c;
    c.corrupt = 1.0;
    CFaultPlan plan(c);
    std::set<std::size_t> ackIndexes;
    for (int i = 0; i < 300; ++i) {
        const FaultDecision ack = plan.Next(6, false);
        ASSERT_TRUE(ack.corrupt);
        ASSERT_GE(ack.corruptIndex, 1u);
        ASSERT_LE(ack.corruptIndex, 5u);
        ackIndexes.insert(ack.corruptIndex);
        const FaultDecision data = plan.Next(14, true);
        ASSERT_TRUE(data.corrupt);
        EXPECT_EQ(data.corruptIndex, 0u);
    }
    EXPECT_EQ(ackIndexes.size(), 5u); // every data byte of an acknowledgement is hit
}

TEST(SimFaultPlan, ApplyFlipsOneBitAndCutsTheLastByte) {
    std::vector<std::uint8_t> reply{0x05, 'Z', 0xC8, 0x8E, 'O', 'K'};
    FaultDecision d;
    d.corrupt = true;
    d.corruptIndex = 4;
    d.corruptBit = 3;
    d.truncate = true;
    ApplyFaults(d, reply);
    EXPECT_EQ(reply, (std::vector<std::uint8_t>{0x05, 'Z', 0xC8, 0x8E, 'O' ^ 0x08}));
}
