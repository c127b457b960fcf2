#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// A control on the fake link, armed for a screen `height` rows high.
struct Linked : CTestControl {
    explicit Linked(short height = 64) {
        Open();
        EXPECT_TRUE(SetLedProperty(1, 256, height));
    }
    void Reply(const std::string& hex) { link.replies.push_back(Hex(hex)); }
};

template <class T> LONG_PTR Addr(T* p) { return reinterpret_cast<LONG_PTR>(p); }

} // namespace

TEST(SetTime, SendsTheLocalTimeWithTheWeekdayBeforeTheSeconds) {
    CCaptureControl c;
    c.now = MakeTime(2006, 8, 13, 14, 5, 9, 0);
    ASSERT_TRUE(c.SetTime());
    EXPECT_EQ(ToHex(StoredBody(c)), "4406081314050009");
    // Every field but the weekday at 10 or more, so that each byte differs
    // between BCD and binary.
    c.now = MakeTime(2026, 12, 19, 23, 47, 38, 6);
    ASSERT_TRUE(c.SetTime());
    EXPECT_EQ(ToHex(StoredBytes(c)),
              "1B24514B3031570008" "4426121923470638" "0B21");
}

TEST(GetTime, DecodesTheBcdClockAndLeavesTheRecordAloneOnFailure) {
    Linked c;
    c.Reply("06 06 12 07 09 30 15");
    short clock[6] = {};
    ASSERT_TRUE(c.GetTime(Addr(clock)));
    EXPECT_EQ(std::vector<short>(clock, clock + 6), (std::vector<short>{2006, 12, 7, 9, 30, 15}));
    short untouched[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(c.GetTime(Addr(untouched)));
    EXPECT_EQ(untouched[0], 1);
    EXPECT_FALSE(c.GetTime(0));
}

TEST(ShortCommands, SendTheLowBytesOfTheirArguments) {
    CCaptureControl c;
    ASSERT_TRUE(c.LockHZLib(7));
    EXPECT_EQ(ToHex(StoredBody(c)), "4F55");
    ASSERT_TRUE(c.LockHZLib(0));
    EXPECT_EQ(ToHex(StoredBody(c)), "4F00");
    ASSERT_TRUE(c.SetBrightness(300));
    EXPECT_EQ(ToHex(StoredBody(c)), "502C");
    ASSERT_TRUE(c.SetRelay(2, 3, 1));
    EXPECT_EQ(ToHex(StoredBody(c)), "53000101");
    ASSERT_TRUE(c.SetCtrlTemperature(-5, 40, 35, 30, 1));
    EXPECT_EQ(ToHex(StoredBody(c)), "51FB28231E01");
    ASSERT_TRUE(c.SetTemperatureOffset(-5));
    EXPECT_EQ(ToHex(StoredBody(c)), "52FB");
    ASSERT_TRUE(c.StartTest());
    EXPECT_EQ(ToHex(StoredBody(c)), "54");
    ASSERT_TRUE(c.ClearPowerCheckResult());
    EXPECT_EQ(ToHex(StoredBody(c)), "58");
    ASSERT_TRUE(c.Reset());
    EXPECT_EQ(ToHex(StoredBody(c)), "5A");
}

TEST(SetRelay, BuildsTheGoldenFrameAndAcceptsItsAcknowledgement) {
    Linked c;
    c.Reply("05 53 01 00 4F 4B");
    ASSERT_TRUE(c.SetRelay(1, 0, 1));
    EXPECT_EQ(ToHex(c.link.written.at(0)), "1B24514B3031570004" "53010001" "40F0");
}

TEST(SetOnOffTime, EndsTheDayAtTwentyThreeFiftyNine) {
    CCaptureControl c;
    ASSERT_TRUE(c.SetOnOffTime(0, 2400, 800, 2400));
    EXPECT_EQ(ToHex(StoredBody(c)), "79" "0000" "2359" "0800" "2359");
    ASSERT_TRUE(c.SetOnOffTime(2400, 2400, 0, 0));
    EXPECT_EQ(ToHex(StoredBody(c)), "79" "2400" "2359" "0000" "0000");
}

TEST(GetTestResult, PacksColourAndColumnIntoOneByte) {
    CCaptureControl c;
    short result[128];
    ASSERT_TRUE(c.GetTestResult(1, 5, result));
    EXPECT_EQ(ToHex(StoredBody(c)), "5745");
    ASSERT_TRUE(c.GetTestResult(0, 64, result));
    EXPECT_EQ(ToHex(StoredBody(c)), "5740");
    ASSERT_TRUE(c.GetTestResult(1, 0, result));
    EXPECT_EQ(ToHex(StoredBody(c)), "5740");
}

TEST(GetTestResult, StoresOneUnsignedValuePerRow) {
    Linked c(5);
    c.Reply("05 FF 00 4F 4B 80"); // five rows: data, not an acknowledgement
    short result[6] = {-1, -1, -1, -1, -1, 77};
    ASSERT_TRUE(c.GetTestResult(0, 1, result));
    EXPECT_EQ(std::vector<short>(result, result + 6), (std::vector<short>{255, 0, 79, 75, 128, 77}));
    EXPECT_FALSE(c.GetTestResult(0, 1, result)); // no reply
    EXPECT_EQ(result[0], 255);
}

TEST(GetTestState, ReadsTheStateSigned) {
    Linked c;
    c.Reply("01 F6");
    EXPECT_EQ(c.GetTestState(), -10);
    c.Reply("01 02");
    EXPECT_EQ(c.GetTestState(), 2);
    EXPECT_EQ(c.GetTestState(), 9999); // no reply
    CCaptureControl capture;
    EXPECT_EQ(capture.GetTestState(), 1); // empty text
}

TEST(GetPowerState, StoresAllHundredTwentyEightValues) {
    Linked c;
    std::string reply = "80";
    for (int i = 0; i < 128; ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02X", (i * 3) & 0xFF);
        reply += b;
    }
    c.Reply(reply);
    short result[128];
    ASSERT_TRUE(c.GetPowerState(result));
    for (int i = 0; i < 128; ++i) EXPECT_EQ(result[i], (i * 3) & 0xFF);
    EXPECT_FALSE(c.GetPowerState(nullptr));
}

namespace {

std::string StatusReply(std::vector<int> bytes, int checksumDelta = 0) {
    int sum = 0;
    for (int b : bytes) sum += b;
    bytes.push_back((sum + checksumDelta) & 0xFF);
    std::string hex = "0F";
    for (int b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", b & 0xFF);
        hex += pair;
    }
    return hex;
}

} // namespace

TEST(GetAllResult, DecodesTheStatusRecordAndChecksIts) {
    Linked c;
    const std::vector<int> data = {0xF6, 1, 2, 0x80, 0x01, 0x2C, 3, 4, 5, 6, 7, 8, 0xFF, 0x7F};
    c.Reply(StatusReply(data));
    short record[14];
    record[13] = 1234;
    ASSERT_TRUE(c.GetAllResult(Addr(record), 3));
    EXPECT_EQ(std::vector<short>(record, record + 14),
              (std::vector<short>{-10, 1, 2, -128, 300, 3, 4, 5, 6, 7, 8, -1, 127, 1234}));

    short untouched[13] = {42};
    c.Reply(StatusReply(data, 1));
    EXPECT_FALSE(c.GetAllResult(Addr(untouched), 3));
    EXPECT_EQ(untouched[0], 42);
    EXPECT_EQ(c.link.written.size(), 2u); // a bad checksum is not retried
}

TEST(DeviceCommands, AllFailBeforeTheScreenIsSet) {
    CTestControl c;
    c.Open();
    short buf[200] = {};
    EXPECT_FALSE(c.SetTime());
    EXPECT_FALSE(c.GetTime(Addr(buf)));
    EXPECT_FALSE(c.LockHZLib(1));
    EXPECT_FALSE(c.SetBrightness(1));
    EXPECT_FALSE(c.SetCtrlTemperature(1, 2, 3, 4, 5));
    EXPECT_FALSE(c.SetTemperatureOffset(1));
    EXPECT_FALSE(c.SetRelay(1, 1, 1));
    EXPECT_FALSE(c.StartTest());
    EXPECT_EQ(c.GetTestState(), 9999);
    EXPECT_FALSE(c.GetTestResult(0, 0, buf));
    EXPECT_FALSE(c.GetPowerState(buf));
    EXPECT_FALSE(c.ClearPowerCheckResult());
    EXPECT_FALSE(c.GetAllResult(Addr(buf), 0));
    EXPECT_FALSE(c.Reset());
    EXPECT_FALSE(c.SetOnOffTime(0, 0, 0, 0));
    EXPECT_TRUE(c.link.written.empty());
    EXPECT_EQ(buf[0], 0);
}
