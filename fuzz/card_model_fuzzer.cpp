// The simulated card on any sequence of commands: payloads from the input are
// framed as a control frames them (mostly to this card's number), mixed with
// stray bytes, cut into pieces, parsed and answered by the card model, whose
// clock and program run move on between frames.
//
// Checked beyond "no crash": a frame with a good CRC for this card is always
// answered and one for another card never; the count byte of every reply is
// its length minus one; a command that is not a reading one is answered with
// exactly its acknowledgement; a reading one with the length its letter
// gives for the card's screen.
#include "control/protocol/frame.h"
#include "fuzz/crc_table.h"
#include "sim/card_model.h"
#include "sim/frame_parser.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace cardsim;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "card_model_fuzzer: %s\n", what);
    std::abort();
}

// Letters the card knows, so that most payloads reach a handler.
constexpr std::uint8_t kLetters[] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J',
                                     'K', 'L', 'M', 'N', 'O', 'P', 'Q', 'R', 'S', 'T',
                                     'U', 'V', 'W', 'X', 'Y', 'Z', 'w', 'x', 'y'};

void CheckAnswer(const ParsedFrame& f, const CardAnswer& a, int cardNumber, int heightBefore) {
    const bool mine = f.crcOk && f.address == cardNumber;
    if (a.answered != mine)
        Fail(mine ? "a frame for this card went unanswered" : "answered another card's frame");
    if (!a.answered) return;
    if (a.reply.empty() || a.reply[0] != a.reply.size() - 1)
        Fail("count byte is not the reply length minus one");
    const std::uint8_t letter = f.Letter();
    if (!palvex::IsDataReplyLetter(letter)) {
        std::uint8_t ack[5];
        palvex::ExpectedAck(f.bytes.data(), ack);
        if (a.reply.size() != 6 || a.reply[0] != 5 ||
            !std::equal(ack, ack + 5, a.reply.begin() + 1))
            Fail("a command was not answered with its acknowledgement");
    } else {
        const std::size_t want =
            static_cast<std::size_t>(palvex::ExpectedReplyCount(letter, heightBefore) & 0xFF) + 1;
        if (a.reply.size() != want) Fail("a reading command was answered with the wrong length");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int cardNumber = in.ConsumeIntegralInRange<int>(0, 31);
    // Screens up to twice the largest a control drives; "C" may resize later.
    const int width = in.ConsumeIntegralInRange<int>(1, 1024);
    const int height = in.ConsumeIntegralInRange<int>(1, 256);
    std::vector<std::pair<int, int>> dead;
    for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0; --i)
        dead.emplace_back(in.ConsumeIntegralInRange<int>(-2, width + 1),
                          in.ConsumeIntegralInRange<int>(-2, height + 1));
    CCardModel card(cardNumber,
                    MakePropertyBlock(width, height, in.ConsumeIntegral<std::uint8_t>()), dead);
    CFrameParser parser;
    CivilTime now{2026, 12, 7, 23, 59, 50};
    std::int64_t seconds = CivilToSeconds(now);

    while (in.remaining_bytes() > 0) {
        std::vector<std::uint8_t> stream;
        // Stray bytes before the frame now and then.
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
            const auto junk =
                in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 12));
            stream.insert(stream.end(), junk.begin(), junk.end());
        }
        std::vector<std::uint8_t> payload;
        payload.push_back(
            in.ConsumeBool()
                ? kLetters[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kLetters - 1)]
                : in.ConsumeIntegral<std::uint8_t>());
        const auto body =
            in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 1100));
        payload.insert(payload.end(), body.begin(), body.end());
        const int address = in.ConsumeIntegralInRange<int>(0, 15) == 0
                                ? in.ConsumeIntegralInRange<int>(0, 31)
                                : cardNumber;
        std::vector<std::uint8_t> frame(payload.size() + palvex::kFrameOverhead);
        palvex::BuildFrame(fuzzing::CrcTable(), address, payload.data(), payload.size(),
                           frame.data());
        if (in.ConsumeIntegralInRange<int>(0, 31) == 0) // a damaged frame
            frame[in.ConsumeIntegralInRange<std::size_t>(0, frame.size() - 1)] ^=
                in.ConsumeIntegralInRange<std::uint8_t>(1, 255);
        stream.insert(stream.end(), frame.begin(), frame.end());

        std::size_t at = 0;
        while (at < stream.size()) {
            const std::size_t n =
                std::min(stream.size() - at, in.ConsumeIntegralInRange<std::size_t>(1, 2048));
            for (const ParsedFrame& f : parser.Feed(stream.data() + at, n)) {
                const int heightBefore = BlockHeight(card.Block());
                const CardAnswer a = card.Answer(f, now);
                CheckAnswer(f, a, cardNumber, heightBefore);
            }
            at += n;
        }
        // Time passes: a program run may move on, a schedule may switch.
        seconds += in.ConsumeIntegralInRange<int>(0, 3700);
        now = SecondsToCivil(seconds);
        card.Tick(now);
        (void)card.ScreenOn(now);
        (void)card.ProgramCycles();
    }
    return 0;
}
