#include "sim/picture_memory.h"

namespace cardsim {

void CPictureMemory::StoreStep(int page, int step, std::span<const std::uint8_t> columns) {
    auto& p = m_pages[page & (kPages - 1)];
    if (!p) p = std::make_unique<Page>();
    const int s = step & (kSteps - 1);
    p->steps[s].assign(columns.begin(), columns.end());
    p->received.set(s);
}

bool CPictureMemory::HasPage(int page) const {
    return m_pages[page & (kPages - 1)] != nullptr;
}

int CPictureMemory::StepsReceived(int page) const {
    const auto& p = m_pages[page & (kPages - 1)];
    return p ? static_cast<int>(p->received.count()) : 0;
}

int CPictureMemory::PagesStored() const {
    int n = 0;
    for (const auto& p : m_pages)
        n += p != nullptr;
    return n;
}

void CPictureMemory::Clear() {
    for (auto& p : m_pages)
        p.reset();
}

std::vector<std::uint8_t> CPictureMemory::Unpack(int page, int width, int height) const {
    std::vector<std::uint8_t> codes(static_cast<std::size_t>(width) * height, 0);
    const auto& p = m_pages[page & (kPages - 1)];
    if (!p) return codes;
    for (int row = 0; row < height && row < 2 * kSteps; ++row) {
        const int step = row < kSteps ? row : row - kSteps;
        const bool twoRows = height > kSteps && step + kSteps < height;
        const std::vector<std::uint8_t>& bytes = p->steps[step];
        std::uint8_t* out = codes.data() + static_cast<std::size_t>(row) * width;
        for (int x = 0; x < width && x < static_cast<int>(bytes.size()); ++x) {
            const std::uint8_t b = bytes[x];
            out[x] = !twoRows       ? b
                     : row < kSteps ? static_cast<std::uint8_t>(b & 0x0F)
                                    : static_cast<std::uint8_t>(b >> 4);
        }
    }
    return codes;
}

} // namespace cardsim
