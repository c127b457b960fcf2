// Faults the simulated card can put on its replies, decided per reply by a
// seeded generator so that a run with the same seed fails the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace cardsim {

struct FaultConfig {
    double drop = 0;       // share of replies not sent at all
    double corrupt = 0;    // share of replies with one bit flipped
    double truncate = 0;   // share of replies sent one byte short
    double delayShare = 0; // share of replies sent delayMs late
    int delayMs = 0;
    int splitBytes = 0;    // > 0: every reply is written in pieces of this size
    int splitGapMs = 2;    // pause between the pieces
    bool silent = false;   // never answer
    int closeAfter = -1;   // TCP: close the connection after this many replies
    std::uint32_t seed = 1;
};

struct FaultDecision {
    bool silent = false;
    bool drop = false;
    bool corrupt = false;
    bool truncate = false;
    bool delay = false;
    std::size_t corruptIndex = 0; // byte of the reply to flip
    int corruptBit = 0;
};

class CFaultPlan {
public:
    explicit CFaultPlan(const FaultConfig& config = {}) { Reset(config); }

    // New settings; the generator restarts from the new seed.
    void Reset(const FaultConfig& config);
    const FaultConfig& Config() const { return m_config; }

    // The faults for the next reply of replyLen bytes (count byte included).
    // Every call draws the same number of values, so changing one share does
    // not shift the decisions of the others. A dropped reply gets no other
    // fault. A corrupted acknowledgement has a bit flipped in one of its five
    // data bytes; a corrupted data reply has it flipped in the count byte,
    // since data replies carry no check of their own and the count byte is
    // the only part of them a control can verify.
    FaultDecision Next(std::size_t replyLen, bool dataReply);

private:
    double Uniform(); // in [0, 1)

    FaultConfig m_config;
    std::mt19937 m_rng;
};

// Flips the chosen bit and/or removes the last byte.
void ApplyFaults(const FaultDecision& decision, std::vector<std::uint8_t>& reply);

} // namespace cardsim
