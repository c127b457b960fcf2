// The simulated card's frame parser on any byte stream. The input is cut
// into pieces whose sizes come from its first bytes; the rest is the stream.
//
// Checked beyond "no crash": memory stays bounded by one frame plus one
// slice; every candidate reported is a well-formed frame whose CRC verdict is
// right; and how the stream is cut into pieces changes nothing: the same
// candidates come out, in the same order, with the same garbage count, as
// when the whole stream arrives at once. A second parser that also gives up
// on partial frames at random points must stay within the same bounds.
#include "fuzz/crc_table.h"
#include "sim/frame_parser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using cardsim::CFrameParser;
using cardsim::ParsedFrame;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "frame_parser_fuzzer: %s\n", what);
    std::abort();
}

// One pending frame (header, largest payload, CRC) and one slice of input.
constexpr std::size_t kBufferBound =
    cardsim::kHeaderSize + cardsim::kMaxFramePayload + cardsim::kCrcSize + 4096;

void CheckFrame(const ParsedFrame& f) {
    const auto& b = f.bytes;
    if (b.size() < cardsim::kHeaderSize + 1 + cardsim::kCrcSize) Fail("frame too short");
    if (b[0] != 0x1B || b[1] != '$' || b[2] != 'Q' || b[3] != 'K' || b[6] != 'W')
        Fail("frame without its header");
    const std::size_t len = (std::size_t{b[7]} << 8) | b[8];
    if (len == 0 || len > cardsim::kMaxFramePayload) Fail("frame length outside the limits");
    if (b.size() != cardsim::kHeaderSize + len + cardsim::kCrcSize)
        Fail("frame size differs from its length");
    if (f.address < 0 || f.address > 255) Fail("address outside two hex digits");
    const std::uint16_t crc = palvex::CrcUpdate(fuzzing::CrcTable(), 0, b.data() + 7, len + 2);
    const bool good = crc == ((b[b.size() - 2] << 8) | b[b.size() - 1]);
    if (good != f.crcOk) Fail("wrong CRC verdict");
    if (f.Payload().size() != len || f.Letter() != b[cardsim::kHeaderSize]) Fail("payload view");
}

bool SameFrames(const std::vector<ParsedFrame>& a, const std::vector<ParsedFrame>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].bytes != b[i].bytes || a[i].crcOk != b[i].crcOk || a[i].address != b[i].address)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::size_t> pieces;
    const int cuts = in.ConsumeIntegralInRange<int>(0, 16);
    for (int i = 0; i < cuts; ++i)
        pieces.push_back(in.ConsumeIntegralInRange<std::size_t>(1, 64));
    const std::vector<std::uint8_t> stream = in.ConsumeRemainingBytes<std::uint8_t>();

    // The whole stream at once.
    CFrameParser whole;
    const std::vector<ParsedFrame> all = whole.Feed(stream.data(), stream.size());
    for (const ParsedFrame& f : all)
        CheckFrame(f);
    if (whole.BufferedBytes() > kBufferBound) Fail("buffer beyond one frame and one slice");

    // The same stream in pieces (the last piece size repeats).
    CFrameParser cut;
    std::vector<ParsedFrame> pieceFrames;
    std::size_t at = 0;
    for (std::size_t k = 0; at < stream.size(); ++k) {
        const std::size_t n =
            std::min(pieces.empty() ? stream.size() : pieces[std::min(k, pieces.size() - 1)],
                     stream.size() - at);
        std::vector<ParsedFrame> got = cut.Feed(stream.data() + at, n);
        for (ParsedFrame& f : got)
            pieceFrames.push_back(std::move(f));
        at += n;
        if (cut.BufferedBytes() > kBufferBound) Fail("buffer beyond one frame and one slice");
    }
    if (!SameFrames(all, pieceFrames)) Fail("cutting the stream changed the frames found");
    if (cut.GarbageBytes() != whole.GarbageBytes())
        Fail("cutting the stream changed the garbage count");
    if (cut.BufferedBytes() != whole.BufferedBytes())
        Fail("cutting the stream changed what is left pending");

    // Giving up on partial frames between pieces, as the card does after a
    // pause: only the bounds and the frame checks hold here.
    CFrameParser patient;
    at = 0;
    for (std::size_t k = 0; at < stream.size(); ++k) {
        const std::size_t n = std::min<std::size_t>(pieces.empty() ? 7 : pieces[k % pieces.size()],
                                                    stream.size() - at);
        for (const ParsedFrame& f : patient.Feed(stream.data() + at, n))
            CheckFrame(f);
        at += n;
        if (k % 3 == 2)
            while (patient.HasPartial())
                for (const ParsedFrame& f : patient.AbandonPartial())
                    CheckFrame(f);
        if (patient.BufferedBytes() > kBufferBound) Fail("buffer beyond one frame and one slice");
    }
    if (patient.GarbageBytes() > stream.size()) Fail("more garbage than bytes");
    return 0;
}
