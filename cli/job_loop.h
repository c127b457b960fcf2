// The iteration of a job of many exchanges, apart from the link: items K,
// K + 1, ... up to the total, one exchange each, stopping at the first
// failure or when a stop signal has arrived between two exchanges; and what
// the job then reports.
#pragma once

#include "control/palvex_facts.h"

#include <cstdint>
#include <functional>
#include <string>

namespace palvex::cli {

// What one exchange gave.
enum class ItemResult {
    Acknowledged,
    Failed,  // the method returned false
    Refused, // the dispatch interface refused the call: nothing ran
};

struct JobItems {
    int from = 0;
    int total = 0;
    std::function<ItemResult(int item)> exchange;
    // The signal that asks the job to stop, or 0; asked before every exchange.
    std::function<int()> stopSignal;
    // After every acknowledged exchange, with the number of items done.
    std::function<void(int done)> progress;
};

struct JobOutcome {
    enum End { Done, Failed, Refused, Stopped } end = Done;
    int next = 0;   // the first item not done: where to resume
    int signal = 0; // Stopped: the signal
};

JobOutcome RunJobItems(const JobItems& items);

// 0 done, 1 failed, 2 refused, 128 + the signal when stopped.
int ExitStatus(const JobOutcome& outcome);

// How a job names itself and its items in its messages.
struct JobWords {
    std::string job;    // "send-font", "send-picture page 3"
    std::string item;   // "block", "step"
    std::string method; // "SendHZLib"
};

// The line that reports the end of a job, without a newline:
//   "send-font: blocks 0 to 259 of 260 sent"
//   "send-font: block 7 of 260 failed: SendHZLib returned false ...; resume with --from 7"
//   "send-font: stopped by SIGINT after block 6 of 260; resume with --from 7"
std::string OutcomeMessage(const JobWords& words, const JobOutcome& outcome, int from, int total);

// The blocks of a font library file of `bytes` bytes: every started 1024
// bytes is a block (a last part block is sent whole, its rest zero).
// kMaxFontBlocks + 1 for any file with more blocks than a library can have.
int FontBlockCount(std::uintmax_t bytes);
// Blocks travel addressed by a 16-bit number of 256-byte units, so a
// library holds at most this many.
constexpr int kMaxFontBlocks = 65536 * 256 / card::kFontBlockSize;

} // namespace palvex::cli
