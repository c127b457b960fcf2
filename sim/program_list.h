// The program list ("H"), the order list ("x") and the program run that
// "F" starts.
//
// Program i shows picture page i. Each entry of the list describes one
// program in four bytes:
//   byte 0   high four bits: entry effect 0..14 (0: at once); low four bits:
//            effect speed 0..14
//   byte 1   bit 7: the NEXT program (the first, for the last entry) is
//            skipped; bits 5-4: exit effect 0..3; bits 3-0: repeats 0..15
//   byte 2-3 how long the program stays on the screen, in seconds, high
//            byte first
// The simulated card keeps every field and reports them, but shows pages
// at once, without the effects.
//
// Play order: the order list's entries (page numbers) when one was sent
// with at least one entry, otherwise the programs of the list in list
// order; skipped programs are left out. A page without a program entry
// stays kDefaultStaySeconds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace cardsim {

struct ProgramEntry {
    int effect = 0;
    int speed = 0;
    bool nextSkipped = false;
    int exitEffect = 0;
    int repeats = 0;
    unsigned staySeconds = 0;
};

class CProgramList {
  public:
    static constexpr unsigned kDefaultStaySeconds = 5;
    // The operand bytes of "F" that start the program run.
    static constexpr char kStartCode[] = "PROGRAMRUN";

    // Operands after the letter: a count, then the entries (or order
    // entries). A count beyond the bytes that came is cut to them.
    void SetList(std::span<const std::uint8_t> operands);
    void SetOrder(std::span<const std::uint8_t> operands);
    // Operands of "F": true (and the run starts at hostSeconds) when they
    // are the start code and its zero byte.
    bool Start(std::span<const std::uint8_t> operands, std::int64_t hostSeconds);
    // The run starts over from its first program ("Z").
    void Restart(std::int64_t hostSeconds);

    const std::vector<ProgramEntry>& Entries() const { return m_entries; }
    const std::vector<std::uint8_t>& Order() const { return m_order; }
    bool Running() const { return m_running; }
    bool Skipped(int program) const;
    std::vector<int> PlayOrder() const;
    // The page the run shows at hostSeconds; none when not running or
    // nothing to play.
    std::optional<int> PageAt(std::int64_t hostSeconds) const;
    // True when the run has more than one page to show in turn.
    bool Cycles() const { return m_running && PlayOrder().size() > 1; }

  private:
    unsigned Stay(int page) const;

    std::vector<ProgramEntry> m_entries;
    std::vector<std::uint8_t> m_order;
    bool m_running = false;
    std::int64_t m_startSeconds = 0;
};

} // namespace cardsim
