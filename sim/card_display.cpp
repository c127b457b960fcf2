#include "sim/card_display.h"

#include <algorithm>
#include <cstdlib>

namespace cardsim {

CCardDisplay::CCardDisplay(int width, int height) : m_width(0), m_height(0) {
    Resize(width, height);
}

void CCardDisplay::Resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == m_width && height == m_height) return;
    for (auto& bank : m_banks) {
        std::vector<std::uint8_t> resized(static_cast<std::size_t>(width) * height, 0);
        for (int y = 0; y < std::min(height, m_height); ++y)
            for (int x = 0; x < std::min(width, m_width); ++x)
                resized[static_cast<std::size_t>(y) * width + x] =
                    bank[static_cast<std::size_t>(y) * m_width + x];
        bank = std::move(resized);
    }
    m_width = width;
    m_height = height;
}

void CCardDisplay::Switch(int bank) {
    m_displayed = bank & 1;
}

void CCardDisplay::Clear(int bank) {
    auto& b = m_banks[bank & 1];
    std::fill(b.begin(), b.end(), 0);
}

void CCardDisplay::CopyFromOther(int dest) {
    m_banks[dest & 1] = m_banks[(dest & 1) ^ 1];
}

void CCardDisplay::Reset() {
    Clear(0);
    Clear(1);
    m_displayed = 0;
}

void CCardDisplay::Set(int bank, int x, int y, std::uint8_t code) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    m_banks[bank & 1][static_cast<std::size_t>(y) * m_width + x] = code;
}

std::uint8_t CCardDisplay::Pixel(int bank, int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    return m_banks[bank & 1][static_cast<std::size_t>(y) * m_width + x];
}

void CCardDisplay::DrawLine(int bank, int x1, int y1, int x2, int y2, std::uint8_t code) {
    // Bresenham's line: rows and columns exactly, any other slope as closely
    // as the grid allows (the control only sends rows and columns).
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Set(bank, x1, y1, code);
        if (x1 == x2 && y1 == y2) return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

void CCardDisplay::Fill(int bank, const std::vector<std::uint8_t>& codes) {
    auto& b = m_banks[bank & 1];
    std::fill(b.begin(), b.end(), 0);
    std::copy_n(codes.begin(), std::min(codes.size(), b.size()), b.begin());
}

} // namespace cardsim
