// What the card holds beyond its property block and clock, and what each
// command does to it: pictures, program and order lists, the font library,
// the two display banks and the device settings.
//
// What the screen shows:
// - The screen shows one of two banks (bank 0 at start); "L" switches it.
// - When the last step of a picture page arrives ("G", step = rows or 64,
//   whichever is less, minus 1), the page is drawn into the displayed bank,
//   unless a program run shows another page.
// - "F" with the start code starts the program run: the pages of the play
//   order are drawn into the displayed bank in turn, each for its stay time
//   (see program_list.h).
// - "J" draws text and "K" a line into the bank they name (lowest bit);
//   "M" makes a bank a copy of the other one; "N" clears a bank.
// - "Z" clears both banks, shows bank 0 and starts a program run over.
#pragma once

#include "sim/card_device.h"
#include "sim/card_display.h"
#include "sim/card_model.h"
#include "sim/font_library.h"
#include "sim/picture_memory.h"
#include "sim/program_list.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace cardsim {

struct StateEffect {
    bool displayChanged = false;
    std::string meaning; // one line: what the command did
};

constexpr std::size_t kStatusRecordSize = 15;

class CCardState {
  public:
    CCardState(int cardNumber, int width, int height, std::vector<std::pair<int, int>> deadLeds);

    void Resize(int width, int height);

    // A command that is acknowledged ("F" to "T", "X", "Z", "w", "x", "y"
    // and any other); payload starts with the letter.
    StateEffect Apply(std::span<const std::uint8_t> payload, const CivilTime& hostNow,
                      const CivilTime& cardNow);
    // The data bytes of a reading command ("U", "V", "W", "Y"); `count` is
    // the number the control reads.
    std::vector<std::uint8_t> Read(std::span<const std::uint8_t> payload, int count,
                                   const CivilTime& cardNow, std::string& meaning);
    // Moves a program run on to the page due at hostNow; true when the
    // displayed bank changed.
    bool Tick(const CivilTime& hostNow);
    bool ProgramCycles() const { return m_programs.Cycles(); }

    // Status record ("Y"), data bytes 0..14:
    //   0 card number            1 temperature, degrees, signed
    //   2 self-test state        3 relays: bit 0 power, 1 fan, 2 other
    //   4-5 page on the screen (0xFFFF: none)   6 displayed bank
    //   7 brightness             8 entries in the program list
    //   9 entries in the order list
    //  10 font library: bit 0 locked, bit 1 present
    //  11 temperature control enabled   12 screen lit now (1) or dark (0)
    //  13 communication time-out, seconds
    //  14 the sum of bytes 0..13, modulo 256
    std::array<std::uint8_t, kStatusRecordSize> StatusRecord(const CivilTime& cardNow) const;

    const CCardDisplay& Display() const { return m_display; }
    const CPictureMemory& Pictures() const { return m_pictures; }
    const CFontLibrary& Fonts() const { return m_fonts; }
    const CProgramList& Programs() const { return m_programs; }
    const CCardDevice& Device() const { return m_device; }
    std::optional<int> ShownPage() const { return m_shownPage; }

  private:
    StateEffect Picture(std::span<const std::uint8_t> ops);
    StateEffect Text(std::span<const std::uint8_t> ops);
    StateEffect DrawLine(std::span<const std::uint8_t> ops);
    StateEffect FontBlock(std::span<const std::uint8_t> ops);
    StateEffect Device(std::uint8_t letter, std::span<const std::uint8_t> ops);
    void ShowPage(int page);

    int m_cardNumber;
    CCardDisplay m_display;
    CPictureMemory m_pictures;
    CFontLibrary m_fonts;
    CProgramList m_programs;
    CCardDevice m_device;
    std::optional<int> m_shownPage;
};

} // namespace cardsim
