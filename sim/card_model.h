// The simulated card itself, without any I/O: its property block, its card
// number and its clock, and the reply it gives to each complete frame.
#pragma once

#include "sim/frame_parser.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cardsim {

// The 13 bytes a card reports for "A":
//   0-1  0xDD 0xDD   D-type identification
//   2    0x7v        v = major version
//   3    BCD         two minor version digits
//   4-7  BCD         production year (two bytes), month, day
//   8-10             width (12 bits) then height (12 bits)
//   11               flags
//   12               free, 0 on this card
constexpr std::size_t kPropertyBlockSize = 13;
using PropertyBlock = std::array<std::uint8_t, kPropertyBlockSize>;

// A D-type card, version 2.00, made on 2006-01-01, with the given screen.
PropertyBlock MakePropertyBlock(int width, int height, std::uint8_t flags);
int BlockWidth(const PropertyBlock& block);
int BlockHeight(const PropertyBlock& block);
std::uint8_t BlockFlags(const PropertyBlock& block);
// Upper-case hex, 26 characters.
std::string BlockToHex(const PropertyBlock& block);
// Accepts exactly 26 hex digits (either case) with surrounding white space.
std::optional<PropertyBlock> BlockFromHex(std::string_view text);

// A wall-clock reading without a time zone: the card's clock has none.
struct CivilTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
// Seconds since 1970-01-01 00:00:00 counted as if every day had 86400 s.
std::int64_t CivilToSeconds(const CivilTime& t);
CivilTime SecondsToCivil(std::int64_t s);

constexpr int kAckLength = 5;

struct CardCounters {
    std::uint64_t framesOk = 0;     // addressed to this card, CRC correct
    std::uint64_t badCrc = 0;       // any address, CRC wrong
    std::uint64_t otherAddress = 0; // CRC correct, another card's number
    std::array<std::uint64_t, 256> perLetter{}; // framesOk by first payload byte
};

struct CardAnswer {
    bool answered = false;           // false: the card stays silent
    std::vector<std::uint8_t> reply; // count byte, then the data bytes
    bool blockChanged = false;       // "B" or "C" rewrote the property block
    bool displayChanged = false;     // what the screen shows may look different
    std::string meaning;             // what the command did, in one line
};

class CCardState;

class CCardModel {
public:
    // deadLeds: (column, row) of LEDs that stay dark and that the self-test finds.
    CCardModel(int cardNumber, const PropertyBlock& block,
               std::vector<std::pair<int, int>> deadLeds = {});
    ~CCardModel();
    CCardModel(CCardModel&&) noexcept;
    CCardModel& operator=(CCardModel&&) noexcept;

    // The card's answer to one complete frame. hostNow is the host's local
    // time; the card's clock runs at the offset the last "D" set from it.
    //
    // Letters that read data: "A" block, "E" clock, "U" test state, "V" power
    // check, "W" test result (one byte per screen row), "Y" status record.
    // "B" and "C" rewrite the block (and so the screen size); "D" sets the
    // clock; the other letters act on the card's state (card_state.h). Every
    // other letter, including ones this card has no use for, is
    // acknowledged: a lenient card keeps a control that sends a newer
    // command working.
    CardAnswer Answer(const ParsedFrame& frame, const CivilTime& hostNow);

    int CardNumber() const { return m_cardNumber; }
    const PropertyBlock& Block() const { return m_block; }
    const CardCounters& Counters() const { return m_counters; }
    // Payload of the last frame answered (letter first); empty before any.
    const std::vector<std::uint8_t>& LastPayload() const { return m_lastPayload; }
    std::int64_t ClockOffsetSeconds() const { return m_clockOffset; }
    // The card's own clock for a given host time.
    CivilTime CardTime(const CivilTime& hostNow) const;

    // Pictures, lists, fonts, banks and settings.
    const CCardState& State() const { return *m_state; }
    // Moves a program run on; true when the displayed bank changed.
    bool Tick(const CivilTime& hostNow);
    // True while a program run shows pages in turn, so time alone changes the screen.
    bool ProgramCycles() const;
    // Whether the screen lights now (power relay and on/off times).
    bool ScreenOn(const CivilTime& hostNow) const;

private:
    std::vector<std::uint8_t> DataReply(std::span<const std::uint8_t> payload, const CivilTime& hostNow,
                                        std::string& meaning);
    bool Store(std::uint8_t letter, std::span<const std::uint8_t> payload, const CivilTime& hostNow,
               std::string& meaning);

    int m_cardNumber;
    PropertyBlock m_block;
    std::int64_t m_clockOffset = 0;
    CardCounters m_counters;
    std::vector<std::uint8_t> m_lastPayload;
    std::unique_ptr<CCardState> m_state;
};

} // namespace cardsim
