// Replies from the card and the conversions of reply text: CheckReply on any
// bytes, the digit conversions on any characters, and whole exchanges whose
// replies come from the input, through a transport that plays the card.
//
// Checked beyond "no crash": CheckReply agrees with an independent reading of
// its contract; an exchange reports success only when the reply it accepted
// was the acknowledgement of the frame sent (or, for a reading letter, had the
// right count byte), and the text handed back is that reply in hex.
#include "control/protocol/convert.h"
#include "control/protocol/frame.h"
#include "control/link/palvex_ctrl.h"
#include "control/protocol/reply.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "reply_check_fuzzer: %s\n", what);
    std::abort();
}

int ReferenceDigit(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') ? u - '0' : u - 0x37;
}

const char kHex[] = "0123456789ABCDEF";

// CheckReply against its contract, on a buffer of exactly 2 * count + 1 bytes.
void FuzzCheckReply(FuzzedDataProvider& in) {
    const int count = in.ConsumeIntegralInRange<int>(1, 255);
    const bool ack = in.ConsumeBool();
    std::vector<std::uint8_t> reply(static_cast<std::size_t>(2 * count + 1));
    for (int i = 0; i < count; ++i)
        reply[static_cast<std::size_t>(i)] = in.ConsumeIntegral<std::uint8_t>();
    reply[static_cast<std::size_t>(count)] = 0;
    std::uint8_t expected[5];
    for (std::uint8_t& b : expected)
        b = in.ConsumeIntegral<std::uint8_t>();
    const std::vector<std::uint8_t> before = reply;

    const BOOL ok = CheckReply(count, reply.data(), ack ? expected : nullptr);
    bool want = before[0] == static_cast<std::uint8_t>(count - 1);
    if (ack) want = want && before[0] == 5 && std::memcmp(before.data() + 1, expected, 5) == 0;
    if ((ok != FALSE) != want) Fail("CheckReply verdict differs from its contract");
    if (ack || !ok) {
        if (reply != before) Fail("CheckReply changed a reply it did not turn into text");
        return;
    }
    for (int i = 1; i <= count; ++i) {
        const std::uint8_t b = before[static_cast<std::size_t>(i)];
        if (reply[static_cast<std::size_t>(2 * (i - 1))] != kHex[b >> 4] ||
            reply[static_cast<std::size_t>(2 * (i - 1) + 1)] != kHex[b & 0x0F])
            Fail("CheckReply text is not the reply in hex");
    }
    if (reply[static_cast<std::size_t>(2 * count)] != 0) Fail("CheckReply text is not terminated");
}

void FuzzConversions(FuzzedDataProvider& in) {
    const char c1 = in.ConsumeIntegral<char>();
    const char c2 = in.ConsumeIntegral<char>();
    if (DigitValue(c1) != ReferenceDigit(c1)) Fail("DigitValue");
    const unsigned pair = (static_cast<unsigned>(ReferenceDigit(c1)) << 4) +
                          static_cast<unsigned>(ReferenceDigit(c2));
    if (HexPairToByte(c1, c2) != static_cast<std::uint8_t>(pair)) Fail("HexPairToByte");
    const unsigned number = static_cast<unsigned>(ReferenceDigit(c1) * 10 + ReferenceDigit(c2));
    if (DigitPairToNumber(c1, c2) != static_cast<std::uint8_t>(number)) Fail("DigitPairToNumber");
    const std::uint8_t v = in.ConsumeIntegral<std::uint8_t>();
    if (ByteToBcd(v) != static_cast<std::uint8_t>((v / 10) * 16 + v % 10)) Fail("ByteToBcd");
    // Two decimal digits survive the trip through BCD text and back.
    if (v < 100) {
        const std::uint8_t bcd = ByteToBcd(v);
        if (DigitPairToNumber(kHex[bcd >> 4], kHex[bcd & 0x0F]) != v) Fail("BCD round trip");
    }
}

// A card played from the input: each read is answered with the right reply,
// a reply with bytes from the input, a short read, or nothing.
class CFuzzCard : public palvex::ILinkTransport {
  public:
    explicit CFuzzCard(FuzzedDataProvider& in) : m_in(in) {}
    int MaxAttempts() const override { return 5; }
    void Purge() override {}
    bool Write(const std::uint8_t* data, std::size_t n) override {
        m_frame.assign(data, data + n);
        return m_in.ConsumeIntegralInRange<int>(0, 15) != 0;
    }
    int PerByteMs() const override { return 4; }
    std::size_t ReadExact(std::uint8_t* buf, std::size_t n, const palvex::CDeadline&) override {
        std::vector<std::uint8_t> reply;
        switch (m_in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: // what a working card answers
            reply.push_back(static_cast<std::uint8_t>(n - 1));
            if (!palvex::IsDataReplyLetter(m_frame[palvex::kPayloadOffset]) && n == 6) {
                std::uint8_t ack[5];
                palvex::ExpectedAck(m_frame.data(), ack);
                reply.insert(reply.end(), ack, ack + 5);
            } else {
                while (reply.size() < n)
                    reply.push_back(m_in.ConsumeIntegral<std::uint8_t>());
            }
            break;
        case 1: // bytes from the input, as many as wanted
            while (reply.size() < n)
                reply.push_back(m_in.ConsumeIntegral<std::uint8_t>());
            break;
        case 2: { // a short read
            const std::size_t k = m_in.ConsumeIntegralInRange<std::size_t>(0, n - 1);
            while (reply.size() < k)
                reply.push_back(m_in.ConsumeIntegral<std::uint8_t>());
            break;
        }
        default:
            break; // silence
        }
        if (!reply.empty()) std::memcpy(buf, reply.data(), reply.size());
        m_lastReply = reply;
        return reply.size();
    }
    const char* Describe() const override { return "fuzz"; }

    std::vector<std::uint8_t> m_frame;
    std::vector<std::uint8_t> m_lastReply;

  private:
    FuzzedDataProvider& m_in;
};

class CFuzzControl : public CPalvexCtrl {
  public:
    explicit CFuzzControl(FuzzedDataProvider& in) : card(in) {}
    CFuzzCard card;
};

void FuzzExchange(FuzzedDataProvider& in) {
    CFuzzControl c(in);
    const bool linkOpen = in.ConsumeBool();
    if (linkOpen) c.AttachTransport(&c.card, 100);
    if (!in.ConsumeBool()) c.SetSendFlag(0);
    const short ledNum = in.ConsumeIntegralInRange<short>(0, 31);
    const short ledHeight = in.ConsumeIntegralInRange<short>(1, 128);
    if (in.ConsumeBool()) c.SetLedProperty(ledNum, 256, ledHeight);
    const int rounds = in.ConsumeIntegralInRange<int>(1, 4);
    for (int r = 0; r < rounds && in.remaining_bytes() > 0; ++r) {
        const std::uint8_t letter = in.ConsumeIntegral<std::uint8_t>();
        // ExecuteCommand's own data buffer: 259 bytes suffice for every
        // reading letter; its count byte may claim up to 255 bytes to send.
        std::vector<std::uint8_t> data(300);
        const int count = in.ConsumeIntegral<std::uint8_t>();
        for (int i = 0; i < count; ++i)
            data[static_cast<std::size_t>(i)] = in.ConsumeIntegral<std::uint8_t>();
        c.card.m_lastReply.clear();
        const BOOL ok = c.ExecuteCommand(letter, data.data(), count);
        if (!ok || !linkOpen) continue;
        // Success over the link: the reply accepted is the last one read.
        const std::vector<std::uint8_t>& reply = c.card.m_lastReply;
        const int want = palvex::ExpectedReplyCount(letter, ledHeight) + 1;
        if (reply.size() != static_cast<std::size_t>(want) || reply[0] != want - 1)
            Fail("success with a reply of the wrong length or count byte");
        if (!palvex::IsDataReplyLetter(letter)) {
            std::uint8_t ack[5];
            short count = 0;
            short elems[palvex::kLastFrameCapacity];
            if (!c.GetSendString(&count, elems) || count < 12)
                Fail("an exchange succeeded without a stored frame");
            std::uint8_t frame[12];
            for (int i = 0; i < 12; ++i) frame[i] = static_cast<std::uint8_t>(elems[i]);
            palvex::ExpectedAck(frame, ack);
            if (reply[0] != 5 || std::memcmp(reply.data() + 1, ack, 5) != 0)
                Fail("an acknowledgement that does not match was reported as success");
        } else {
            char text[300];
            for (int i = 1; i < want; ++i)
                std::snprintf(text + 2 * (i - 1), 3, "%02X", reply[static_cast<std::size_t>(i)]);
            std::snprintf(text + 2 * (want - 1), 3, "00");
            if (std::strcmp(text, reinterpret_cast<const char*>(data.data())) != 0)
                Fail("the reply text differs from the reply read");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        FuzzCheckReply(in);
        break;
    case 1:
        FuzzConversions(in);
        break;
    default:
        FuzzExchange(in);
        break;
    }
    return 0;
}
