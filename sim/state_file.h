// The card's persistent memory: the property block as one line of hex text.
#pragma once

#include "sim/card_model.h"

#include <string>

namespace cardsim {

enum class StateLoad { Loaded, Missing, Invalid };

// Reads the block from path. Missing: no such file (the card starts from its
// configured block). Invalid: the file exists but is unreadable or not a
// block; error says why.
StateLoad LoadStateFile(const std::string& path, PropertyBlock& block, std::string& error);

// Writes the block so that a crash leaves either the old or the new file:
// a temporary file beside it is written, synced and renamed over it.
bool SaveStateFile(const std::string& path, const PropertyBlock& block, std::string& error);

} // namespace cardsim
