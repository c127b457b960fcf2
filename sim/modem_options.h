// cardsim's command-line options for the modem in front of the card.
#pragma once

#include "sim/modem_front.h"

#include <string>

namespace cardsim {

// getopt_long codes, far from the program's other options.
// --modem, --modem-echo, --dial-delay, --guard, --line-end, --modem-off,
// --dial-answer, in this order.
enum ModemOptionCode {
    kOptModem = 0x200,
    kOptModemEcho,
    kOptDialDelay,
    kOptGuard,
    kOptLineEnd,
    kOptModemOff,
    kOptDialAnswer,
};

// Lines for the program's --help text.
extern const char kModemUsage[];

bool IsModemOption(int code);

// Applies one modem option to `modem`; every one of them switches the modem
// on. False when the value is not acceptable.
bool ApplyModemOption(int code, const std::string& arg, ModemConfig& modem);

} // namespace cardsim
