// The command line of palvex's whole jobs, each one command that opens the
// link, arms the control, runs the job and closes the link again:
//
//   palvex LINK SCREEN [--from K] [--quiet] send-font FILE
//   palvex LINK SCREEN --page N [--from K] [--quiet] send-picture FILE
//   palvex --width W --height H -o OUT.png preview FILE
//
//   LINK    --com N --baud B | --net HOST:PORT, and --wait MS (default 1000)
//   SCREEN  --card N --width W --height H (what SetLedProperty is given)
//
// Options go before or after the verb, as "--name VALUE" or "--name=VALUE";
// --verbose and --trace work as for method calls.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace palvex::cli {

// The wait a link is opened with when --wait is not given, in milliseconds.
constexpr int kDefaultWaitMs = 1000;

struct JobCommand {
    enum Verb { None, SendFont, SendPicture, Preview } verb = None;
    std::string file;
    int com = 0; // serial port number; 0: none
    unsigned baud = 0;
    std::string netHost; // empty: no network link
    unsigned netPort = 0;
    int waitMs = kDefaultWaitMs;
    int card = -1;
    int width = 0;
    int height = 0;
    int page = -1;
    int from = 0;
    bool quiet = false;
    bool verbose = false;
    bool trace = false;
    std::string outPath; // preview
};

// The verb's name as typed ("send-font").
const char* VerbName(JobCommand::Verb verb);

// Recognises a job line: the first word that is neither an option nor an
// option's value is one of the verbs. `out.verb` stays None for any other
// line (method calls, module commands, --help). False with a message for a
// job line that is wrong, and for a line that gives job options without a
// verb.
bool ParseJobCommand(std::span<const std::string_view> words, JobCommand& out, std::string& error);

// The usage lines of the verbs, for palvex's usage and help texts.
const char* JobUsageText();
const char* JobHelpText();

} // namespace palvex::cli
