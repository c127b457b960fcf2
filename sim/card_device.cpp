#include "sim/card_device.h"

#include <algorithm>

namespace cardsim {

namespace {

int FromBcd(std::uint8_t b) {
    return (b >> 4) * 10 + (b & 0x0F);
}

bool InPeriod(int t, int on, int off) {
    return on <= off ? (on <= t && t <= off) : (t >= on || t <= off);
}

} // namespace

CCardDevice::CCardDevice(int width, int height, std::vector<std::pair<int, int>> deadLeds)
    : m_dead(std::move(deadLeds)) {
    Resize(width, height);
}

void CCardDevice::Resize(int width, int height) {
    const std::size_t supplies = static_cast<std::size_t>((std::max(width, 1) + 63) / 64) *
                                 ((std::max(height, 1) + 31) / 32);
    m_supplies = std::min(supplies, kPowerChecks);
}

void CCardDevice::SetRelays(std::span<const std::uint8_t> operands) {
    for (std::size_t i = 0; i < relays.size() && i < operands.size(); ++i) {
        const bool on = (operands[i] & 1) != 0;
        if (i == 0 && relays[0] && !on)
            for (std::size_t s = 0; s < m_supplies; ++s)
                m_powerChecks[s] = static_cast<std::uint8_t>(std::min(255, m_powerChecks[s] + 1));
        relays[i] = on;
    }
}

void CCardDevice::SetOnOffTimes(std::span<const std::uint8_t> operands) {
    if (operands.size() < 8) return;
    for (std::size_t i = 0; i < 4; ++i)
        onOff.hhmm[i] = FromBcd(operands[2 * i]) * 100 + FromBcd(operands[2 * i + 1]);
    onOff.set = true;
}

bool CCardDevice::ScreenOn(const CivilTime& cardTime) const {
    if (!relays[0]) return false;
    if (!onOff.set) return true;
    const int t = cardTime.hour * 100 + cardTime.minute;
    return InPeriod(t, onOff.hhmm[0], onOff.hhmm[1]) || InPeriod(t, onOff.hhmm[2], onOff.hhmm[3]);
}

void CCardDevice::StartTest() {
    m_test = SelfTest::Running;
}

SelfTest CCardDevice::ReadTestState() {
    const SelfTest now = m_test;
    if (m_test == SelfTest::Running) {
        m_test = SelfTest::Done;
        m_testDone = true;
    }
    return now;
}

bool CCardDevice::Dead(int x, int y) const {
    return std::find(m_dead.begin(), m_dead.end(), std::make_pair(x, y)) != m_dead.end();
}

std::vector<std::uint8_t> CCardDevice::TestResult(std::uint8_t operand, int height) const {
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(std::max(height, 0)),
                                   m_testDone ? 0x00 : 0xFF);
    if (!m_testDone) return rows;
    const int firstColumn = (operand & 0x3F) * 8;
    for (const auto& [x, y] : m_dead)
        if (y >= 0 && y < height && x >= firstColumn && x < firstColumn + 8)
            rows[static_cast<std::size_t>(y)] |=
                static_cast<std::uint8_t>(0x80 >> (x - firstColumn));
    return rows;
}

} // namespace cardsim
