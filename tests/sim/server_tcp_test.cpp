// The card server on a real loopback socket, with and without faults.
#include "sim/card_server.h"

#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

using cardsim::CardConfig;
using cardsim::CCardServer;
using cardsim::FaultConfig;
using simtest::Bytes;
using simtest::Hex;
using simtest::MakeFrame;
using simtest::ReadUpTo;
using simtest::WriteAll;

namespace {

const Bytes kZFrame = Hex("1B 24 51 4B 30 31 57 00 01 5A C8 8E");
const Bytes kZAck = Hex("05 5A C8 8E 4F 4B");

using Ms = std::chrono::milliseconds;

class SimTcpCard : public ::testing::Test {
protected:
    // Starts a card with the given faults and connects to it.
    void Serve(const FaultConfig& faults = {}, CardConfig card = {}) {
        server = std::make_unique<CCardServer>(card, faults);
        watch.Attach(*server);
        ASSERT_TRUE(server->ServeTcp(0)) << server->LastError();
        ASSERT_NE(server->TcpPort(), 0u);
        ASSERT_TRUE(server->Start());
        conn = simtest::ConnectLoopback(server->TcpPort());
        ASSERT_TRUE(conn.Valid());
    }

    Bytes Exchange(const Bytes& frame, std::size_t replyLen) {
        EXPECT_TRUE(WriteAll(conn.Get(), frame));
        return ReadUpTo(conn.Get(), replyLen);
    }

    simtest::CLogWatch watch; // declared first: outlives the server's thread
    std::unique_ptr<CCardServer> server;
    cardsim::CUniqueFd conn;
};

} // namespace

TEST_F(SimTcpCard, AnswersTheGoldenFrame) {
    Serve();
    EXPECT_EQ(Exchange(kZFrame, 6), kZAck);
    const auto stats = server->Stats();
    EXPECT_EQ(stats.framesOk, 1u);
    EXPECT_EQ(stats.perLetter['Z'], 1u);
    EXPECT_EQ(stats.repliesSent, 1u);
    EXPECT_EQ(stats.connectionsAccepted, 1u);
    EXPECT_EQ(server->LastPayload(), Bytes{'Z'});
}

TEST_F(SimTcpCard, ServesTheConfiguredScreenAndTakesANewOne) {
    CardConfig card;
    card.cardNumber = 7;
    card.width = 128;
    card.height = 32;
    card.flags = 0x03;
    Serve({}, card);
    EXPECT_EQ(Exchange(MakeFrame(7, {'A'}), 14), Hex("0D DD DD 72 00 20 06 01 01 08 00 20 03 00"));
    EXPECT_EQ(Exchange(MakeFrame(7, Hex("43 20 00 40 81")), 6), Hex("05 43 20 00 4F 4B"));
    EXPECT_EQ(cardsim::BlockWidth(server->PropertyBlock()), 512);
    EXPECT_EQ(Exchange(MakeFrame(7, {'W'}), 65).size(), 65u);
}

TEST_F(SimTcpCard, SkipsNoiseAndOtherCardsFramesOnTheConnection) {
    Serve();
    const Bytes noise = Hex("00 11 1B 24 22");
    Bytes stream = noise;
    const Bytes toCard2 = MakeFrame(2, {'Z'});
    stream.insert(stream.end(), toCard2.begin(), toCard2.end());
    Bytes badCrc = kZFrame;
    badCrc[10] ^= 0x40;
    stream.insert(stream.end(), badCrc.begin(), badCrc.end());
    stream.insert(stream.end(), kZFrame.begin(), kZFrame.end());
    // Only the last frame is answered, so its acknowledgement is the first
    // thing to arrive.
    EXPECT_EQ(Exchange(stream, 6), kZAck);
    const auto stats = server->Stats();
    EXPECT_EQ(stats.garbageBytes, noise.size());
    EXPECT_EQ(stats.wrongAddress, 1u);
    EXPECT_EQ(stats.badCrc, 1u);
    EXPECT_EQ(stats.framesOk, 1u);
}

TEST_F(SimTcpCard, SplitRepliesArriveCompleteAndPaced) {
    FaultConfig f;
    f.splitBytes = 3;
    f.splitGapMs = 20;
    Serve(f);
    const auto start = std::chrono::steady_clock::now();
    const Bytes reply = Exchange(MakeFrame(1, {'A'}), 14);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reply, Hex("0D DD DD 72 00 20 06 01 01 10 00 40 00 00"));
    // 14 bytes in 5 pieces: four gaps between them.
    EXPECT_GE(took, Ms(80));
}

TEST_F(SimTcpCard, DelaysRepliesByTheConfiguredTime) {
    FaultConfig f;
    f.delayMs = 60;
    f.delayShare = 1.0;
    Serve(f);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Exchange(kZFrame, 6), kZAck);
    EXPECT_GE(std::chrono::steady_clock::now() - start, Ms(60));
    EXPECT_EQ(server->Stats().delayed, 1u);
}

TEST_F(SimTcpCard, ClosesTheConnectionAfterTheConfiguredRepliesAndAcceptsANewOne) {
    FaultConfig f;
    f.closeAfter = 2;
    Serve(f);
    EXPECT_EQ(Exchange(kZFrame, 6), kZAck);
    EXPECT_EQ(Exchange(kZFrame, 6), kZAck);
    EXPECT_TRUE(simtest::PeerClosed(conn.Get()));
    conn = simtest::ConnectLoopback(server->TcpPort());
    ASSERT_TRUE(conn.Valid());
    EXPECT_EQ(Exchange(kZFrame, 6), kZAck);
    EXPECT_EQ(server->Stats().connectionsAccepted, 2u);
}

TEST_F(SimTcpCard, ANewConnectionReplacesTheOldOne) {
    Serve();
    EXPECT_EQ(Exchange(kZFrame, 6), kZAck);
    cardsim::CUniqueFd second = simtest::ConnectLoopback(server->TcpPort());
    ASSERT_TRUE(second.Valid());
    EXPECT_TRUE(simtest::PeerClosed(conn.Get()));
    ASSERT_TRUE(WriteAll(second.Get(), kZFrame));
    EXPECT_EQ(ReadUpTo(second.Get(), 6), kZAck);
}

TEST_F(SimTcpCard, DroppedAndSilencedRepliesLeaveTheLineQuiet) {
    FaultConfig f;
    f.drop = 1.0;
    Serve(f);
    ASSERT_TRUE(WriteAll(conn.Get(), kZFrame));
    ASSERT_TRUE(watch.WaitFor("reply dropped"));
    FaultConfig silent;
    silent.silent = true;
    server->SetFaults(silent);
    ASSERT_TRUE(WriteAll(conn.Get(), kZFrame));
    ASSERT_TRUE(watch.WaitFor("silent"));
    server->SetFaults({});
    // The first bytes on the line answer the third frame.
    EXPECT_EQ(Exchange(kZFrame, 6), kZAck);
    const auto stats = server->Stats();
    EXPECT_EQ(stats.dropped, 1u);
    EXPECT_EQ(stats.silenced, 1u);
    EXPECT_EQ(stats.repliesSent, 1u);
}

TEST_F(SimTcpCard, DropsTheRepliesItsSeedSelects) {
    FaultConfig f;
    f.drop = 0.5;
    f.seed = 1234;
    // Which of eight replies the plan drops, worked out with a plan of the
    // same seed; each frame carries its index so the replies tell them apart.
    cardsim::CFaultPlan plan(f);
    Bytes expected;
    Bytes frames;
    for (std::uint8_t i = 0; i < 8; ++i) {
        const Bytes frame = MakeFrame(1, {'Z', i, 0});
        frames.insert(frames.end(), frame.begin(), frame.end());
        if (!plan.Next(6, false).drop) expected.push_back(i);
    }
    ASSERT_GT(expected.size(), 0u);
    ASSERT_LT(expected.size(), 8u);
    Serve(f);
    const Bytes replies = Exchange(frames, 6 * expected.size());
    ASSERT_EQ(replies.size(), 6 * expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(replies[6 * k + 2], expected[k]);
    ASSERT_TRUE(watch.WaitFor("frame to 01", 8));
    EXPECT_TRUE(simtest::ReadAvailable(conn.Get()).empty());
}

TEST_F(SimTcpCard, TruncatesAndCorruptsReplies) {
    FaultConfig f;
    f.truncate = 1.0;
    Serve(f);
    ASSERT_TRUE(WriteAll(conn.Get(), kZFrame));
    ASSERT_TRUE(watch.WaitFor("truncated"));
    EXPECT_EQ(ReadUpTo(conn.Get(), 5), Hex("05 5A C8 8E 4F"));
    EXPECT_TRUE(simtest::ReadAvailable(conn.Get()).empty());

    FaultConfig c;
    c.corrupt = 1.0;
    server->SetFaults(c);
    const Bytes ack = Exchange(kZFrame, 6);
    ASSERT_EQ(ack.size(), 6u);
    EXPECT_EQ(ack[0], 0x05); // the count byte stays, a data byte is wrong
    int bitsWrong = 0;
    for (std::size_t i = 0; i < 6; ++i) bitsWrong += __builtin_popcount(ack[i] ^ kZAck[i]);
    EXPECT_EQ(bitsWrong, 1);
    const Bytes block = Exchange(MakeFrame(1, {'A'}), 14);
    ASSERT_EQ(block.size(), 14u);
    EXPECT_EQ(__builtin_popcount(block[0] ^ 13), 1); // data replies: the count byte
    const auto stats = server->Stats();
    EXPECT_EQ(stats.truncated, 1u);
    EXPECT_EQ(stats.corrupted, 2u);
}

TEST_F(SimTcpCard, KeepsItsBlockInTheStateFile) {
    simtest::CTempDir dir;
    CardConfig card;
    card.stateFile = dir.File("card.state");
    Serve({}, card);
    EXPECT_FALSE(server->StateLoaded());
    EXPECT_EQ(Exchange(MakeFrame(1, Hex("43 20 00 40 81")), 6), Hex("05 43 20 00 4F 4B"));
    std::ifstream in(card.stateFile);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "DDDD7200200601012000408100");

    CCardServer restarted(card);
    EXPECT_TRUE(restarted.StateLoaded());
    EXPECT_EQ(restarted.PropertyBlock(), server->PropertyBlock());
}

TEST(SimCardServer, RefusesToStartWithNothingToServe) {
    CCardServer server(CardConfig{});
    EXPECT_FALSE(server.Start());
    EXPECT_EQ(server.Run(nullptr), 1);
}

TEST(SimCardServer, StopsPromptlyAndCanStopTwice) {
    CCardServer server(CardConfig{});
    ASSERT_TRUE(server.ServeTcp(0));
    ASSERT_TRUE(server.Start());
    EXPECT_FALSE(server.Start());
    server.Stop();
    server.Stop();
    // The listening socket stays, but nobody answers any more.
    cardsim::CUniqueFd conn = simtest::ConnectLoopback(server.TcpPort());
    if (conn) {
        ASSERT_TRUE(WriteAll(conn.Get(), kZFrame));
        EXPECT_TRUE(ReadUpTo(conn.Get(), 6, 100).empty());
    }
}
