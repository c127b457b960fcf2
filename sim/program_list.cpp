#include "sim/program_list.h"

#include <algorithm>
#include <cstring>

namespace cardsim {

void CProgramList::SetList(std::span<const std::uint8_t> operands) {
    m_entries.clear();
    if (operands.empty()) return;
    const std::size_t n = std::min<std::size_t>(operands[0], (operands.size() - 1) / 4);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* e = operands.data() + 1 + 4 * i;
        ProgramEntry p;
        p.effect = e[0] >> 4;
        p.speed = e[0] & 0x0F;
        p.nextSkipped = (e[1] & 0x80) != 0;
        p.exitEffect = (e[1] >> 4) & 0x03;
        p.repeats = e[1] & 0x0F;
        p.staySeconds = static_cast<unsigned>(e[2] << 8 | e[3]);
        m_entries.push_back(p);
    }
}

void CProgramList::SetOrder(std::span<const std::uint8_t> operands) {
    m_order.clear();
    if (operands.empty()) return;
    const std::size_t n = std::min<std::size_t>(operands[0], operands.size() - 1);
    m_order.assign(operands.begin() + 1, operands.begin() + 1 + static_cast<std::ptrdiff_t>(n));
}

bool CProgramList::Start(std::span<const std::uint8_t> operands, std::int64_t hostSeconds) {
    const std::size_t len = sizeof kStartCode; // with its zero byte
    if (operands.size() < len || std::memcmp(operands.data(), kStartCode, len) != 0) return false;
    Restart(hostSeconds);
    return true;
}

void CProgramList::Restart(std::int64_t hostSeconds) {
    m_running = true;
    m_startSeconds = hostSeconds;
}

bool CProgramList::Skipped(int program) const {
    const int n = static_cast<int>(m_entries.size());
    if (program < 0 || program >= n) return false;
    // Each entry carries the flag of the program after it, the list being a ring.
    return m_entries[static_cast<std::size_t>((program + n - 1) % n)].nextSkipped;
}

std::vector<int> CProgramList::PlayOrder() const {
    std::vector<int> pages;
    if (!m_order.empty()) {
        for (std::uint8_t page : m_order)
            if (!Skipped(page)) pages.push_back(page);
    } else {
        for (int i = 0; i < static_cast<int>(m_entries.size()); ++i)
            if (!Skipped(i)) pages.push_back(i);
    }
    return pages;
}

unsigned CProgramList::Stay(int page) const {
    if (page < 0 || page >= static_cast<int>(m_entries.size())) return kDefaultStaySeconds;
    return std::max(1u, m_entries[static_cast<std::size_t>(page)].staySeconds);
}

std::optional<int> CProgramList::PageAt(std::int64_t hostSeconds) const {
    if (!m_running) return std::nullopt;
    const std::vector<int> pages = PlayOrder();
    if (pages.empty()) return std::nullopt;
    std::int64_t total = 0;
    for (int p : pages)
        total += Stay(p);
    std::int64_t at = (hostSeconds - m_startSeconds) % total;
    if (at < 0) at += total;
    for (int p : pages) {
        if (at < Stay(p)) return p;
        at -= Stay(p);
    }
    return pages.back();
}

} // namespace cardsim
