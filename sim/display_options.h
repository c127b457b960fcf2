// cardsim's command-line options for what the screen shows and for pacing.
#pragma once

#include "sim/card_server.h"

#include <string>

namespace cardsim {

// getopt_long codes, apart from the program's other options.
// --snapshot, --pace, --dead-led, in this order.
enum DisplayOptionCode {
    kOptSnapshot = 0x300,
    kOptPace,
    kOptDeadLed,
};

// Lines for the program's --help text, the display model included.
extern const char kDisplayUsage[];

bool IsDisplayOption(int code);

// Applies one option to `card`; false when the value is not acceptable.
bool ApplyDisplayOption(int code, const std::string& arg, CardConfig& card);

} // namespace cardsim
