// The card server on a pseudo terminal, opened the way the control opens a
// serial port: through the symbolic link, raw, at a speed set with termios2.
#include "sim/card_server.h"

#include "control/link/linux_termios2.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using cardsim::CardConfig;
using cardsim::CCardServer;
using cardsim::CUniqueFd;
using simtest::Bytes;
using simtest::Hex;
using simtest::ReadUpTo;
using simtest::WriteAll;

namespace {

const Bytes kZFrame = Hex("1B 24 51 4B 30 31 57 00 01 5A C8 8E");
const Bytes kZAck = Hex("05 5A C8 8E 4F 4B");

CUniqueFd OpenLine(const std::string& path, unsigned baud) {
    CUniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd && !palvex::SetRaw8N1(fd.Get(), baud)) fd.Reset();
    return fd;
}

class SimPtyCard : public ::testing::Test {
protected:
    void Serve(CardConfig card = {}) {
        link = dir.File("ttyCard");
        server = std::make_unique<CCardServer>(card);
        watch.Attach(*server);
        ASSERT_TRUE(server->ServePty(link)) << server->LastError();
        ASSERT_TRUE(server->Start());
    }

    simtest::CTempDir dir;
    simtest::CLogWatch watch;
    std::unique_ptr<CCardServer> server;
    std::string link;
};

} // namespace

TEST_F(SimPtyCard, AnswersAtItsSpeedThroughTheSymlink) {
    Serve();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), server->PtySlaveName());
    EXPECT_EQ(server->PtyLinkPath(), link);
    CUniqueFd line = OpenLine(link, 9600);
    ASSERT_TRUE(line.Valid());
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(line.Get(), 6), kZAck);
    EXPECT_EQ(server->Stats().framesOk, 1u);
}

TEST_F(SimPtyCard, StaysSilentWhenTheLineRunsAtAnotherSpeed) {
    Serve();
    CUniqueFd line = OpenLine(link, 19200);
    ASSERT_TRUE(line.Valid());
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    ASSERT_TRUE(watch.WaitFor("no answer"));
    EXPECT_TRUE(simtest::ReadAvailable(line.Get()).empty());
    EXPECT_EQ(server->Stats().wrongSpeed, 1u);
    EXPECT_EQ(server->Stats().framesOk, 0u);

    // The control tries the card's speed next and gets its answer.
    ASSERT_TRUE(palvex::SetRaw8N1(line.Get(), 9600));
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(line.Get(), 6), kZAck);
}

TEST_F(SimPtyCard, AnswersAtANewSpeedAfterSetBaud) {
    Serve();
    server->SetBaud(57600);
    CUniqueFd line = OpenLine(link, 57600);
    ASSERT_TRUE(line.Valid());
    ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(line.Get(), 6), kZAck);
}

TEST_F(SimPtyCard, KeepsServingWhenTheControlClosesAndReopensTheLine) {
    Serve();
    for (int round = 0; round < 3; ++round) {
        CUniqueFd line = OpenLine(link, 9600);
        ASSERT_TRUE(line.Valid()) << round;
        ASSERT_TRUE(WriteAll(line.Get(), kZFrame));
        EXPECT_EQ(ReadUpTo(line.Get(), 6), kZAck) << round;
    }
    EXPECT_EQ(server->Stats().repliesSent, 3u);
}

TEST_F(SimPtyCard, CarriesLargeFramesAndLongReplies) {
    Serve();
    CUniqueFd line = OpenLine(link, 9600);
    ASSERT_TRUE(line.Valid());
    // Every byte value in a payload as long as the control ever sends.
    Bytes payload{'S'};
    for (int i = 0; i < 1588; ++i) payload.push_back(static_cast<std::uint8_t>(i));
    const Bytes frame = simtest::MakeFrame(1, payload);
    ASSERT_TRUE(WriteAll(line.Get(), frame));
    EXPECT_EQ(ReadUpTo(line.Get(), 6), (Bytes{0x05, 'S', 0x00, 0x01, 'O', 'K'}));
    EXPECT_EQ(server->LastPayload(), payload);
    ASSERT_TRUE(WriteAll(line.Get(), simtest::MakeFrame(1, {'V'})));
    const Bytes power = ReadUpTo(line.Get(), 129);
    ASSERT_EQ(power.size(), 129u);
    EXPECT_EQ(power[0], 128);
}

TEST(SimPtyLink, ReplacesAnExistingSymlinkButNotARegularFile) {
    simtest::CTempDir dir;
    const std::string link = dir.File("ttyCard");
    std::filesystem::create_symlink("/dev/null", link);
    {
        CCardServer server(CardConfig{});
        ASSERT_TRUE(server.ServePty(link)) << server.LastError();
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), server.PtySlaveName());
    }
    const std::string file = dir.File("plain");
    std::ofstream(file) << "keep me";
    CCardServer server(CardConfig{});
    EXPECT_FALSE(server.ServePty(file));
    EXPECT_NE(server.LastError().find("not a symbolic link"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
}

TEST(SimPtyLink, IsRemovedWhenTheServerGoes) {
    simtest::CTempDir dir;
    const std::string link = dir.File("ttyCard");
    {
        CCardServer server(CardConfig{});
        ASSERT_TRUE(server.ServePty(link));
        ASSERT_TRUE(server.Start());
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(SimPtyLink, IsLeftAloneWhenAnotherCardTookThePathOver) {
    simtest::CTempDir dir;
    const std::string link = dir.File("ttyCard");
    auto first = std::make_unique<CCardServer>(CardConfig{});
    ASSERT_TRUE(first->ServePty(link));
    CCardServer second(CardConfig{});
    ASSERT_TRUE(second.ServePty(link));
    first.reset();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), second.PtySlaveName());
}
