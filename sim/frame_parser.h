// Cuts complete command frames out of a byte stream that arrives in pieces.
//
//   0x1B '$' 'Q' 'K' <addr hi> <addr lo> 'W' <len hi> <len lo> <payload...> <crc hi> <crc lo>
//
// Bytes that cannot start a frame are skipped (and counted) until the next
// 0x1B '$' 'Q' 'K'. A header with a bad address, a missing 'W' or a length of
// 0 or above kMaxFramePayload is not a frame: its first byte is skipped and
// the search goes on from the next one. A candidate whose CRC does not match
// is reported, and the search also resumes one byte after its start, so that a
// frame hidden behind a corrupted length field is still found. Memory stays
// bounded by one frame plus one slice of input, whatever bytes arrive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cardsim {

constexpr std::size_t kHeaderSize = 9;  // 0x1B '$' 'Q' 'K' addr(2) 'W' len(2)
constexpr std::size_t kCrcSize = 2;
constexpr std::size_t kMaxFramePayload = 2048;

struct ParsedFrame {
    std::vector<std::uint8_t> bytes; // the whole frame, header to CRC
    int address = 0;                 // from the two hex digits
    bool crcOk = false;

    std::span<const std::uint8_t> Payload() const {
        return std::span<const std::uint8_t>(bytes).subspan(kHeaderSize,
                                                            bytes.size() - kHeaderSize - kCrcSize);
    }
    std::uint8_t Letter() const { return bytes[kHeaderSize]; }
};

class CFrameParser {
public:

    // Takes the next n bytes of the stream; returns the frame candidates they
    // completed, in order, each with its CRC verdict.
    std::vector<ParsedFrame> Feed(const std::uint8_t* data, std::size_t n);

    // Gives up on a frame whose rest never came: its first byte is dropped and
    // the bytes after it are searched again. Returns any frames found there.
    std::vector<ParsedFrame> AbandonPartial();

    // True while the start of a frame is waiting for its remaining bytes.
    bool HasPartial() const { return !m_buf.empty(); }
    std::size_t BufferedBytes() const { return m_buf.size(); }
    // Bytes skipped outside any complete frame candidate.
    std::uint64_t GarbageBytes() const { return m_garbage; }

private:
    void Scan(std::vector<ParsedFrame>& out);

    std::vector<std::uint8_t> m_buf;
    // Leading bytes of m_buf that belong to a candidate already reported with
    // a bad CRC; skipping them is not counted as garbage.
    std::size_t m_shadow = 0;
    std::uint64_t m_garbage = 0;
};

} // namespace cardsim
