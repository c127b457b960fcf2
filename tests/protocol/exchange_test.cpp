#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace testing_support;

namespace {

std::string StoredFrame(CTestControl& c) {
    short count = -1;
    short elems[1600];
    if (!c.GetSendString(&count, elems)) return "refused";
    Bytes b;
    for (int i = 0; i < count; ++i) b.push_back(static_cast<std::uint8_t>(elems[i]));
    return ToHex(b);
}

const char* kZFrame = "1B24514B30315700015AC88E";
const char* kZAck = "055AC88E4F4B";

} // namespace

TEST(Exchange, BuildsNothingBeforeThePropertiesAreSet) {
    CTestControl c;
    c.Open();
    std::uint8_t payload[16] = {'Z'};
    EXPECT_FALSE(c.ExchangeFrame(payload, 1));
    EXPECT_EQ(payload[0], 'Z'); // buffer untouched
    EXPECT_TRUE(c.link.written.empty());
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    EXPECT_TRUE(StoredBytes(c).empty()); // nothing was stored either
}

TEST(Exchange, CapturesFramesWithoutALinkAndReportsSuccess) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::uint8_t text[300];
    std::memset(text, 'x', sizeof text);
    EXPECT_TRUE(c.ExecuteCommand('E', text, 0));
    EXPECT_EQ(text[0], 0); // reading letters give an empty text
    const std::string frame = StoredFrame(c);
    EXPECT_EQ(frame.size(), 24u);
    EXPECT_EQ(frame.substr(0, 20), "1B24514B303157000145");
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_EQ(StoredFrame(c), kZFrame);
}

TEST(Exchange, FailsWithoutALinkInSendingModeButStoresTheFrame) {
    CTestControl c;
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_EQ(StoredFrame(c), kZFrame);
}

TEST(Exchange, CaptureModeStaysOnUntilClosed) {
    CTestControl c;
    c.SetSendFlag(0);
    c.SetSendFlag(1);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0)); // captured, not refused
}

TEST(Exchange, SendsTheFrameAndAcceptsItsAcknowledgement) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex(kZAck));
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    ASSERT_EQ(c.link.written.size(), 1u);
    EXPECT_EQ(ToHex(c.link.written[0]), kZFrame);
    EXPECT_EQ(c.link.purges, 1);
}

TEST(Exchange, RetriesAfterCorruptedAck) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex("055AC88F4F4B")); // one CRC bit off
    c.link.replies.push_back(Hex(kZAck));
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    ASSERT_EQ(c.link.written.size(), 2u);
    EXPECT_EQ(c.link.written[0], c.link.written[1]); // the whole frame again
    EXPECT_EQ(c.link.purges, 2);
}

TEST(Exchange, GivesUpAfterFiveAttemptsWithAnEmptyText) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::uint8_t text[300] = {'j', 'u', 'n', 'k'};
    EXPECT_FALSE(c.ExecuteCommand('A', text, 0));
    EXPECT_EQ(c.link.written.size(), 5u);
    EXPECT_EQ(text[0], 0);
}

TEST(Exchange, MakesTenAttemptsWhenTheLinkAsksForThem) {
    CTestControl c;
    c.Open();
    c.link.attempts = 10;
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    EXPECT_FALSE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_EQ(c.link.written.size(), 10u);
}

TEST(Exchange, RefusesAReplyOneByteShortOrWithTheWrongCountByte) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex("055AC88E4F")); // one byte short
    c.link.replies.push_back(Hex("045AC88E4F4B")); // count byte says 4
    c.link.replies.push_back(Hex(kZAck));
    EXPECT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_EQ(c.link.written.size(), 3u);
}

TEST(Exchange, ReturnsDataRepliesAsHexText) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    c.link.replies.push_back(Hex("0D DDDD7200 20061231 200040 81 00"));
    std::uint8_t text[300];
    ASSERT_TRUE(c.ExecuteCommand('A', text, 0));
    EXPECT_STREQ(reinterpret_cast<char*>(text), "DDDD72002006123120004081" "0000");
}

TEST(Exchange, ReadsAFiveRowTestResultAsDataNotAsAnAcknowledgement) {
    CTestControl c;
    c.Open();
    ASSERT_TRUE(c.SetLedProperty(1, 256, 5));
    std::uint8_t data[300] = {0x40};
    // Five data bytes that happen to look like the acknowledgement pattern.
    c.link.replies.push_back(Hex("05 57 40 00 4F 4B"));
    ASSERT_TRUE(c.ExecuteCommand('W', data, 1));
    EXPECT_STREQ(reinterpret_cast<char*>(data), "5740004F4B00");
    EXPECT_EQ(c.link.written.size(), 1u);
}

TEST(Exchange, RefusesUnknownLettersWithoutTouchingTheStoredFrame) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    ASSERT_TRUE(c.ExecuteCommand('Z', nullptr, 0));
    EXPECT_FALSE(c.ExecuteCommand('a', nullptr, 0));
    EXPECT_FALSE(c.ExecuteCommand('G', nullptr, 0)); // sent only through ExchangeFrame
    EXPECT_EQ(StoredFrame(c), kZFrame);
}

TEST(Exchange, RefusesAPayloadTooLargeForTheStoredCopy) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    std::vector<std::uint8_t> big(1590, 0);
    big[0] = 'L';
    EXPECT_FALSE(c.ExchangeFrame(big.data(), 1590));
    EXPECT_TRUE(StoredBytes(c).empty());
    std::vector<std::uint8_t> largest(1589, 0);
    largest[0] = 'L';
    EXPECT_TRUE(c.ExchangeFrame(largest.data(), 1589));
    EXPECT_EQ(StoredBytes(c).size(), 1600u);
}

TEST(Exchange, ClampsTheCommunicationTimeOut) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    const std::pair<short, int> cases[] = {{0, 5}, {300, 99}, {-1, 5}, {42, 42}};
    for (auto [seconds, sent] : cases) {
        ASSERT_TRUE(c.SetCommTimeOut(seconds));
        const Bytes frame = StoredBytes(c);
        ASSERT_EQ(frame.size(), 13u);
        EXPECT_EQ(frame[9], 'w');
        EXPECT_EQ(frame[10], sent) << seconds;
    }
}

TEST(Exchange, StampsTheLocalDateAndTimeAsBcdInEveryCentury) {
    struct Row {
        std::tm now;
        const char* dateB; // "B": century, year, month, day
        const char* timeD; // "D": year in the century, month, day, hour, minute, weekday, second
    };
    const Row rows[] = {
        {MakeTime(2006, 8, 13, 14, 5, 9, 0), "20060813", "4406081314050009"},
        // Every field but the weekday at 10 or more: BCD and binary differ in each byte.
        {MakeTime(2026, 12, 19, 23, 47, 38, 6), "20261219", "4426121923470638"},
        {MakeTime(2099, 12, 31, 23, 59, 59, 4), "20991231", "4499123123590459"},
        // From 2100 on the year is still taken within its century.
        {MakeTime(2106, 1, 2, 3, 4, 5, 6), "21060102", "4406010203040605"},
        {MakeTime(2200, 10, 10, 10, 10, 10, 3), "22001010", "4400101010100310"},
    };
    for (const Row& row : rows) {
        CTestControl c;
        c.SetSendFlag(0);
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        c.now = row.now;
        std::uint8_t four[4] = {0xDD, 0xDD, 0x72, 0x00};
        ASSERT_TRUE(c.ExecuteCommand('B', four, 4));
        EXPECT_EQ(ToHex(StoredBytes(c).data() + 9, 9), std::string("42DDDD7200") + row.dateB);
        std::uint8_t junk[7] = {1, 2, 3, 4, 5, 6, 7}; // overwritten by the clock
        ASSERT_TRUE(c.ExecuteCommand('D', junk, 7));
        const Bytes frame = StoredBytes(c);
        ASSERT_EQ(frame.size(), 19u);
        EXPECT_EQ(ToHex(frame.data() + 9, 8), row.timeD);
    }
}

TEST(Exchange, SendsTheProgramStartCodeWithATrailingZero) {
    CTestControl c;
    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    ASSERT_TRUE(c.ExecuteCommand('F', nullptr, 0));
    const Bytes frame = StoredBytes(c);
    ASSERT_EQ(frame.size(), 23u);
    EXPECT_EQ(frame[9], 'F');
    EXPECT_EQ(frame[20], 0);
}

TEST(GetSendString, WidensBytesWithoutSignAndRefusesWhenDisarmed) {
    CTestControl c;
    short count = 99;
    short elems[1600];
    EXPECT_FALSE(c.GetSendString(&count, elems));
    EXPECT_EQ(count, 99);

    c.SetSendFlag(0);
    ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
    ASSERT_TRUE(c.GetSendString(&count, elems));
    EXPECT_EQ(count, 0); // nothing built yet

    std::uint8_t ff[2] = {0xFF, 0xFF};
    ASSERT_TRUE(c.ExecuteCommand('P', ff, 1));
    ASSERT_TRUE(c.GetSendString(&count, elems));
    ASSERT_EQ(count, 13);
    EXPECT_EQ(elems[10], 255);
    for (int i = 0; i < count; ++i) EXPECT_GE(elems[i], 0);
}

TEST(Exchange, GivesEachAttemptTheLinesTimePerReplyBytePlusTheWaitTime) {
    struct Row {
        BYTE letter;
        int perByteMs;
        short waitTime;
        std::int64_t allowedMs; // per attempt
    };
    const Row rows[] = {
        {'Z', 4, 100, 4 * 6 + 100},      // acknowledgement: 6 bytes
        {'V', 4, 1000, 4 * 129 + 1000},  // 128 data bytes and the count byte
        {'U', 4, 0, 4 * 2 + 100},        // the wait time is at least 100 ms
        {'A', 0, 700, 700},              // a network link adds nothing per byte
    };
    for (const Row& row : rows) {
        CTestControl c;
        c.link.perByteMs = row.perByteMs;
        c.link.attempts = 3;
        c.Open(row.waitTime);
        ASSERT_TRUE(c.SetLedProperty(1, 256, 64));
        std::uint8_t data[300] = {};
        EXPECT_FALSE(c.ExecuteCommand(row.letter, data, 0)); // every read times out
        EXPECT_EQ(c.link.allowedMs, std::vector<std::int64_t>(3, row.allowedMs)) << row.letter;
    }
}
