#include "sim/fault_plan.h"

namespace cardsim {

void CFaultPlan::Reset(const FaultConfig& config) {
    m_config = config;
    m_rng.seed(config.seed);
}

double CFaultPlan::Uniform() {
    // 24 bits of the generator, spelled out so the sequence does not depend
    // on how a standard library implements its distributions.
    return static_cast<double>(m_rng() >> 8) * (1.0 / 16777216.0);
}

FaultDecision CFaultPlan::Next(std::size_t replyLen, bool dataReply) {
    const double uDrop = Uniform();
    const double uCorrupt = Uniform();
    const double uTruncate = Uniform();
    const double uDelay = Uniform();
    const std::uint32_t rIndex = m_rng();
    const std::uint32_t rBit = m_rng();

    FaultDecision d;
    if (m_config.silent) {
        d.silent = true;
        return d;
    }
    if (uDrop < m_config.drop) {
        d.drop = true;
        return d;
    }
    if (uCorrupt < m_config.corrupt && replyLen > 0) {
        d.corrupt = true;
        d.corruptIndex = dataReply || replyLen < 2 ? 0 : 1 + rIndex % (replyLen - 1);
        d.corruptBit = static_cast<int>(rBit % 8);
    }
    d.truncate = uTruncate < m_config.truncate && replyLen > 0;
    d.delay = m_config.delayMs > 0 && uDelay < m_config.delayShare;
    return d;
}

void ApplyFaults(const FaultDecision& d, std::vector<std::uint8_t>& reply) {
    if (d.corrupt && d.corruptIndex < reply.size())
        reply[d.corruptIndex] ^= static_cast<std::uint8_t>(1u << d.corruptBit);
    if (d.truncate && !reply.empty()) reply.pop_back();
}

} // namespace cardsim
