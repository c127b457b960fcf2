// The card's picture memory as "G" fills it: pages of steps, each step one
// byte per column. The card keeps the step bytes as they arrived and turns
// them into pixels for its current screen size only when a page is shown.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace cardsim {

class CPictureMemory {
  public:
    // Page and step numbers travel as their low six bits.
    static constexpr int kPages = 64;
    static constexpr int kSteps = 64;

    void StoreStep(int page, int step, std::span<const std::uint8_t> columns);
    bool HasPage(int page) const;
    int StepsReceived(int page) const;
    int PagesStored() const;
    void Clear();

    // The page as width x height pixel codes, row by row. Step s carries row
    // s; on a screen taller than 64 rows it carries row s in its low four
    // bits and row s + 64 in its high four bits wherever s + 64 is a row of
    // the screen. Steps never received, and columns beyond a step's bytes,
    // read 0.
    std::vector<std::uint8_t> Unpack(int page, int width, int height) const;

  private:
    struct Page {
        std::array<std::vector<std::uint8_t>, kSteps> steps;
        std::bitset<kSteps> received;
    };
    std::array<std::unique_ptr<Page>, kPages> m_pages; // made on the first step
};

} // namespace cardsim
