#include "sim/modem_options.h"

#include "sim/option_number.h"

namespace cardsim {

const char kModemUsage[] =
    "\nA modem in front of the card (pty only):\n"
    "  --modem            a Hayes modem answers the pty at 57600 bit/s, the card behind it\n"
    "  --modem-echo on|off  echo of the modem's power-on and factory profiles (default on)\n"
    "  --dial-delay MS    time from ATD to its answer (default 2000)\n"
    "  --guard MS         silence before and after +++ (default 1000)\n"
    "  --line-end crlf|lfcr|blank  line ends around the modem's answers (default crlf)\n"
    "  --dial-answer TEXT answer to ATD (default 'CONNECT 9600'; BUSY, NO CARRIER, ...)\n"
    "  --modem-off        the modem is switched off and answers nothing\n"
    "  (each --modem-*, --dial-*, --guard and --line-end option implies --modem)\n";

namespace {

bool Millis(const std::string& s, int& out) {
    const std::optional<long> v = ParseOptionNumber(s, 0, 600000);
    if (v) out = static_cast<int>(*v);
    return v.has_value();
}

bool KnownDialAnswer(const std::string& s) {
    return s.rfind("CONNECT", 0) == 0 || s == "BUSY" || s == "NO CARRIER" || s == "NO ANSWER" ||
           s == "NO DIALTONE" || s.empty();
}

} // namespace

bool IsModemOption(int code) { return code >= kOptModem && code <= kOptDialAnswer; }

bool ApplyModemOption(int code, const std::string& arg, ModemConfig& modem) {
    modem.enabled = true;
    switch (code) {
    case kOptModem: return true;
    case kOptModemEcho:
        if (arg != "on" && arg != "off") return false;
        modem.echo = arg == "on";
        return true;
    case kOptDialDelay: return Millis(arg, modem.dialDelayMs);
    case kOptGuard: return Millis(arg, modem.guardMs);
    case kOptLineEnd:
        if (const auto end = ParseModemLineEnd(arg)) {
            modem.lineEnd = *end;
            return true;
        }
        return false;
    case kOptModemOff: modem.switchedOff = true; return true;
    case kOptDialAnswer:
        if (!KnownDialAnswer(arg)) return false;
        modem.dialAnswer = arg;
        return true;
    default: return false;
    }
}

} // namespace cardsim
