#include "sim/frame_parser.h"

#include "sim/card_protocol.h"

#include <algorithm>

namespace cardsim {

namespace {

constexpr std::uint8_t kMagic[4] = {0x1B, '$', 'Q', 'K'};
// Input is taken in slices of this size so the buffer never holds more than
// one pending frame plus one slice.
constexpr std::size_t kSlice = 4096;

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::vector<ParsedFrame> CFrameParser::Feed(const std::uint8_t* data, std::size_t n) {
    std::vector<ParsedFrame> out;
    while (n > 0) {
        const std::size_t take = std::min(n, kSlice);
        m_buf.insert(m_buf.end(), data, data + take);
        data += take;
        n -= take;
        Scan(out);
    }
    return out;
}

std::vector<ParsedFrame> CFrameParser::AbandonPartial() {
    std::vector<ParsedFrame> out;
    if (m_buf.empty()) return out;
    if (m_shadow == 0) ++m_garbage;
    m_buf.erase(m_buf.begin());
    if (m_shadow > 0) --m_shadow;
    Scan(out);
    return out;
}

void CFrameParser::Scan(std::vector<ParsedFrame>& out) {
    std::size_t pos = 0;
    std::size_t shadowEnd = m_shadow;
    const auto skip = [&] {
        if (pos >= shadowEnd) ++m_garbage;
        ++pos;
    };
    while (pos < m_buf.size()) {
        if (m_buf[pos] != kMagic[0]) {
            skip();
            continue;
        }
        const std::size_t avail = m_buf.size() - pos;
        bool magicOk = true;
        for (std::size_t i = 1; i < std::min<std::size_t>(avail, 4); ++i)
            if (m_buf[pos + i] != kMagic[i]) magicOk = false;
        if (!magicOk) {
            skip();
            continue;
        }
        if (avail < kHeaderSize) break;
        const int hi = HexDigit(m_buf[pos + 4]);
        const int lo = HexDigit(m_buf[pos + 5]);
        const std::size_t len = (std::size_t{m_buf[pos + 7]} << 8) | m_buf[pos + 8];
        if (hi < 0 || lo < 0 || m_buf[pos + 6] != 'W' || len == 0 || len > kMaxFramePayload) {
            skip();
            continue;
        }
        const std::size_t total = kHeaderSize + len + kCrcSize;
        if (avail < total) break;

        ParsedFrame frame;
        frame.bytes.assign(m_buf.begin() + static_cast<std::ptrdiff_t>(pos),
                           m_buf.begin() + static_cast<std::ptrdiff_t>(pos + total));
        frame.address = hi * 16 + lo;
        const std::uint16_t crc = Crc16Xmodem(frame.bytes.data() + 7, len + 2);
        const std::uint16_t sent =
            static_cast<std::uint16_t>((frame.bytes[total - 2] << 8) | frame.bytes[total - 1]);
        frame.crcOk = crc == sent;
        out.push_back(std::move(frame));
        if (out.back().crcOk) {
            pos += total;
        } else {
            // The length itself may be what was corrupted: look for a frame
            // start inside this candidate before giving its bytes up.
            shadowEnd = std::max(shadowEnd, pos + total);
            ++pos;
        }
    }
    m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(pos));
    m_shadow = shadowEnd > pos ? shadowEnd - pos : 0;
}

} // namespace cardsim
