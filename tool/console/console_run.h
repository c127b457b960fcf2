// The console commands: the dialogs' logic driven through in-memory dialogs,
// with the status texts and messages printed as lines.
#pragma once

#include "tool/console/console_args.h"
#include "tool/control_site.h"

#include <iosfwd>

namespace dravel {

struct ConsoleIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Turn the terminal's echo off while the password is typed.
    bool hideInput = false;
    // Someone can answer questions. Otherwise the warning is shown and the
    // run goes on, as a script that chose to run the tool would answer it.
    bool interactive = false;
};

// Runs one console command (or prints the usage); returns the exit status.
int RunConsoleCommand(const CommandLine& line, ConsoleIo io, const ControlFactory& makeControl);

// The card number a simulated card answers to: the screen number this run
// will use (given, or else the remembered one), 0 when that is not 0 to 31.
int SimulatedCardNumber(const CommandLine& line);

// A status text on one line: line breaks become single spaces.
std::string StatusLine(const std::string& status);

} // namespace dravel
