// Texts of the console commands. The dialog's own texts (status box,
// messages) are in dravel_texts.h and are printed unchanged.
#pragma once

namespace dravel::text {

inline constexpr const char* kUsage =
    "Usage:\n"
    "  dravel [--simulate[=COM<n>@<baud>]]\n"
    "      Starts the configuration dialog.\n"
    "  dravel search [--screen N] [--verbose] [--yes] [--simulate[=COM<n>@<baud>]]\n"
    "      Searches COM1 to COM8 at 28800, 38400, 57600, 9600 and 14400 bit/s for a\n"
    "      D-type card with screen number N (0 to 31; default: the remembered one)\n"
    "      and prints the final status: the card found, or the instructions.\n"
    "  dravel configure [--screen N] [--width W] [--height H] [--module 8x8|8x4]\n"
    "                   [--wiring NAME,...|none] [--verbose] [--yes]\n"
    "                   [--simulate[=COM<n>@<baud>]]\n"
    "      Searches, then writes the found card's settings with the changes given:\n"
    "      W 8 to 512 and H 8 to 128, multiples of 8. Unchanged settings stay as\n"
    "      the card reported them. Prints 配置成功! or 配置失败!.\n"
    "  dravel force [--port P] [--baud B] [--number N] [--password WORD] [--yes]\n"
    "               [--simulate[=COM<n>@<baud>]]\n"
    "      Forced configuration: checks the password (asked for without echo\n"
    "      unless given), then writes the D-type identification, version 2.00 and\n"
    "      today's date into the card on COM<P> (1 to 8) at B bit/s under screen\n"
    "      number N; the defaults are the remembered ones. A wrong password ends\n"
    "      the command silently with status 1.\n"
    "  dravel settings\n"
    "      Prints the remembered values as Name=value lines.\n"
    "  dravel --help | --version\n"
    "\n"
    "  --verbose     one line per probe: the port and the speed tried, and\n"
    "                below it why the port did not open when it did not\n"
    "  --yes         answer the warning with \"进入\" instead of asking for it; when\n"
    "                standard input is not a terminal the warning is shown and the\n"
    "                run goes on\n"
    "  --simulate    serve a simulated card for this run, on COM3 at 28800 bit/s\n"
    "                unless given; the other seven ports count as absent\n"
    "                (Linux only: the simulated card needs a pseudo terminal)\n"
    "  Wiring names: left-to-right, blank-invert, data-invert, even-col-reverse,\n"
    "                odd-col-reverse, row8-reverse, row-swap\n"
    "\n"
    "Exit status: 0 done; 1 declined, no card found or configuration failed;\n"
    "2 wrong usage.\n";

inline constexpr const char* kEnterPrompt = "进入? [y/N] ";
inline constexpr const char* kPasswordPrompt = "输入口令: ";
inline constexpr const char* kSimulating = "dravel: simulated ";
inline constexpr const char* kSimulateRefused =
    "dravel: --simulate is available on Linux only: the simulated card needs a pseudo "
    "terminal; connect a card (or a card simulator's serial line) to a COM port instead";
inline constexpr const char* kProbeLinePrefix = "probe Com";
// Before the reason a probe's port did not open.
inline constexpr const char* kProbeFailurePrefix = "  ";
inline constexpr const char* kSettingsKeyPath = "SOFTWARE\\Tavrin\\Sarnow";
inline constexpr const char* kUsageHint = "dravel: see dravel --help\n";

// Names of the wiring options, bit 7 down to bit 1 of the flags byte.
inline constexpr const char* kWiringNames[] = {
    "left-to-right",   "blank-invert", "data-invert", "even-col-reverse",
    "odd-col-reverse", "row8-reverse", "row-swap"};

} // namespace dravel::text
