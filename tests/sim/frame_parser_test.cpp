// The frame parser against literal byte streams: whole frames, pieces,
// garbage, broken headers and arbitrary input.
#include "sim/frame_parser.h"

#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <random>

using cardsim::CFrameParser;
using cardsim::ParsedFrame;
using simtest::Bytes;
using simtest::Hex;

namespace {

const Bytes kZToCard1 = Hex("1B 24 51 4B 30 31 57 00 01 5A C8 8E");
const Bytes kCToCard1 = Hex("1B 24 51 4B 30 31 57 00 05 43 20 00 40 81 07 90");

std::vector<ParsedFrame> FeedAll(CFrameParser& p, const Bytes& bytes) {
    return p.Feed(bytes.data(), bytes.size());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& b : parts) out.insert(out.end(), b.begin(), b.end());
    return out;
}

} // namespace

TEST(SimFrameParser, FindsTheGoldenFramesWithAddressPayloadAndCrcVerdict) {
    CFrameParser p;
    const auto frames = FeedAll(p, Concat({kZToCard1, kCToCard1}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].crcOk);
    EXPECT_EQ(frames[0].address, 1);
    EXPECT_EQ(frames[0].bytes, kZToCard1);
    EXPECT_EQ(frames[0].Letter(), 'Z');
    EXPECT_TRUE(frames[1].crcOk);
    EXPECT_EQ(Bytes(frames[1].Payload().begin(), frames[1].Payload().end()), Hex("43 20 00 40 81"));
    EXPECT_FALSE(p.HasPartial());
    EXPECT_EQ(p.GarbageBytes(), 0u);
}

TEST(SimFrameParser, ReadsTheAddressAsTwoHexDigits) {
    CFrameParser p;
    const auto frames = FeedAll(p, simtest::MakeFrame(0x1F, {'A'}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].address, 0x1F);
}

TEST(SimFrameParser, ReportsABadCrcAndStillFindsTheNextFrame) {
    Bytes broken = kZToCard1;
    broken.back() ^= 0x01;
    CFrameParser p;
    const auto frames = FeedAll(p, Concat({broken, kCToCard1}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(frames[0].crcOk);
    EXPECT_TRUE(frames[1].crcOk);
    EXPECT_EQ(frames[1].Letter(), 'C');
    // The bytes of a rejected candidate are not garbage.
    EXPECT_EQ(p.GarbageBytes(), 0u);
}

TEST(SimFrameParser, CountsTheBytesOfABadStartAsGarbageAndFindsTheFrameBehind) {
    const struct {
        const char* what;
        Bytes bad;
    } starts[] = {
        // Noise, a lone 0x1B, and "1B 24 51" followed by something other than 'K'.
        {"garbage with false starts", Hex("00 FF 1B 41 1B 24 51 00 4B")},
        // Length 0x0801 = 2049: one more than the largest frame.
        {"an oversize length", Hex("1B 24 51 4B 30 31 57 08 01")},
        {"a zero length", Hex("1B 24 51 4B 30 31 57 00 00")},
        {"a lower-case address", Hex("1B 24 51 4B 30 61 57 00 01")},
        {"no W", Hex("1B 24 51 4B 30 31 52 00 01")},
    };
    for (const auto& start : starts) {
        SCOPED_TRACE(start.what);
        CFrameParser p;
        const auto frames = FeedAll(p, Concat({start.bad, kZToCard1}));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].bytes, kZToCard1);
        EXPECT_EQ(p.GarbageBytes(), start.bad.size());
        EXPECT_FALSE(p.HasPartial());
    }
}

TEST(SimFrameParser, AssemblesAFrameThatArrivesOneByteAtATime) {
    CFrameParser p;
    for (std::size_t i = 0; i + 1 < kCToCard1.size(); ++i) {
        EXPECT_TRUE(p.Feed(&kCToCard1[i], 1).empty()) << "byte " << i;
        EXPECT_TRUE(p.HasPartial());
    }
    const auto frames = p.Feed(&kCToCard1.back(), 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].crcOk);
    EXPECT_EQ(frames[0].bytes, kCToCard1);
}

TEST(SimFrameParser, FindsFramesHiddenBehindACorruptedLengthField) {
    // The length field of the first frame reads 0x10 instead of 0x01, so it
    // claims the next frame and part of the one after.
    Bytes corrupted = kZToCard1;
    corrupted[8] = 0x10;
    CFrameParser p;
    const auto frames = FeedAll(p, Concat({corrupted, kZToCard1, kCToCard1}));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_FALSE(frames[0].crcOk);
    EXPECT_EQ(frames[1].bytes, kZToCard1);
    EXPECT_EQ(frames[2].bytes, kCToCard1);
}

TEST(SimFrameParser, AbandoningAStalledHeaderRecoversTheFrameBehindIt) {
    // A legal but long length whose payload never comes.
    const Bytes stalled = Hex("1B 24 51 4B 30 31 57 08 00 41");
    CFrameParser p;
    EXPECT_TRUE(FeedAll(p, Concat({stalled, kZToCard1})).empty());
    EXPECT_TRUE(p.HasPartial());
    const auto frames = p.AbandonPartial();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].bytes, kZToCard1);
    EXPECT_FALSE(p.HasPartial());
    EXPECT_EQ(p.GarbageBytes(), stalled.size());
}

TEST(SimFrameParser, SurvivesArbitraryInputWithABoundedBuffer) {
    // Bytes drawn mostly from the header alphabet so that many false starts
    // and long claimed lengths occur, fed in pieces of random size.
    const std::uint8_t alphabet[] = {0x1B, '$', 'Q', 'K', '0', '1', 'W', 0x00, 0x01, 0x07, 0x08};
    std::mt19937 rng(7);
    CFrameParser p;
    Bytes piece;
    for (int round = 0; round < 2000; ++round) {
        piece.resize(rng() % 700);
        for (auto& b : piece)
            b = rng() % 4 == 0 ? static_cast<std::uint8_t>(rng()) : alphabet[rng() % sizeof alphabet];
        p.Feed(piece.data(), piece.size());
        ASSERT_LE(p.BufferedBytes(), cardsim::kHeaderSize + cardsim::kMaxFramePayload + 1);
    }
    // However the noise ended, the parser gets back in step.
    while (p.HasPartial()) p.AbandonPartial();
    const auto frames = FeedAll(p, kZToCard1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].crcOk);
}

TEST(SimFrameParser, TakesOneLargeFeedWithManyFrames) {
    Bytes stream;
    for (int i = 0; i < 1000; ++i) stream.insert(stream.end(), kCToCard1.begin(), kCToCard1.end());
    CFrameParser p;
    const auto frames = FeedAll(p, stream);
    EXPECT_EQ(frames.size(), 1000u);
    EXPECT_FALSE(p.HasPartial());
}
