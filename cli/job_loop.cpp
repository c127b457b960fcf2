#include "cli/job_loop.h"

#include "control/palvex_facts.h"

#include <csignal>

namespace palvex::cli {

JobOutcome RunJobItems(const JobItems& items) {
    JobOutcome outcome;
    for (int k = items.from; k < items.total; ++k) {
        outcome.next = k;
        if (const int signal = items.stopSignal ? items.stopSignal() : 0; signal != 0) {
            outcome.end = JobOutcome::Stopped;
            outcome.signal = signal;
            return outcome;
        }
        const ItemResult r = items.exchange(k);
        if (r != ItemResult::Acknowledged) {
            outcome.end = r == ItemResult::Failed ? JobOutcome::Failed : JobOutcome::Refused;
            return outcome;
        }
        if (items.progress) items.progress(k + 1);
    }
    outcome.end = JobOutcome::Done;
    outcome.next = items.total;
    return outcome;
}

int ExitStatus(const JobOutcome& outcome) {
    switch (outcome.end) {
    case JobOutcome::Done:
        return 0;
    case JobOutcome::Failed:
        return 1;
    case JobOutcome::Refused:
        return 2;
    case JobOutcome::Stopped:
        return 128 + outcome.signal;
    }
    return 1;
}

std::string OutcomeMessage(const JobWords& w, const JobOutcome& o, int from, int total) {
    const std::string of = " of " + std::to_string(total);
    const std::string resume = "; resume with --from " + std::to_string(o.next);
    switch (o.end) {
    case JobOutcome::Done:
        return w.job + ": " + w.item + "s " + std::to_string(from) + " to " +
               std::to_string(total - 1) + of + " sent";
    case JobOutcome::Failed:
        return w.job + ": " + w.item + " " + std::to_string(o.next) + of + " failed: " + w.method +
               " returned false (no acknowledgement from the card)" + resume;
    case JobOutcome::Refused:
        return w.job + ": " + w.item + " " + std::to_string(o.next) + of + ": " + w.method +
               " was refused by the dispatch interface" + resume;
    case JobOutcome::Stopped: {
        const char* name = o.signal == SIGINT    ? "SIGINT"
                           : o.signal == SIGTERM ? "SIGTERM"
                                                 : nullptr;
        const std::string by = name ? name : "signal " + std::to_string(o.signal);
        const std::string where = o.next > from
                                      ? "after " + w.item + " " + std::to_string(o.next - 1)
                                      : "before " + w.item + " " + std::to_string(o.next);
        return w.job + ": stopped by " + by + " " + where + of + resume;
    }
    }
    return {};
}

int FontBlockCount(std::uintmax_t bytes) {
    constexpr auto kBlock = static_cast<std::uintmax_t>(card::kFontBlockSize);
    const std::uintmax_t blocks = (bytes + kBlock - 1) / kBlock;
    return blocks > static_cast<std::uintmax_t>(kMaxFontBlocks) ? kMaxFontBlocks + 1
                                                                : static_cast<int>(blocks);
}

} // namespace palvex::cli
