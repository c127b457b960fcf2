#include "cli/job_progress.h"

#include <cmath>
#include <cstdio>

namespace palvex::cli {

std::string FormatDuration(double seconds) {
    const long long s = std::llround(seconds < 0 ? 0 : seconds);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

std::string FormatProgress(const std::string& label, const std::string& units,
                           const ProgressFigures& f) {
    const int percent = f.total > 0 ? static_cast<int>(100LL * f.done / f.total) : 100;
    std::string rate = "--";
    if (f.seconds > 0)
        rate = std::to_string(std::llround(static_cast<double>(f.bytes) / f.seconds));
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s %3d%% %d/%d %s, %s B/s, %s left", label.c_str(), percent,
                  f.done, f.total, units.c_str(), rate.c_str(),
                  f.secondsLeft < 0 ? "--:--" : FormatDuration(f.secondsLeft).c_str());
    return buf;
}

double EstimateSecondsLeft(int doneThisRun, int remaining, double elapsed, double linePerItem) {
    if (remaining <= 0) return 0;
    double perItem = -1;
    if (linePerItem > 0)
        perItem = (linePerItem * kLineWeight + elapsed) / (kLineWeight + doneThisRun);
    else if (doneThisRun > 0)
        perItem = elapsed / doneThisRun;
    return perItem < 0 ? -1 : perItem * remaining;
}

CProgressMeter::CProgressMeter(Mode mode, std::string label, std::string units, int total, int from,
                               std::size_t bytesPerItem, double linePerItem)
    : m_mode(mode), m_label(std::move(label)), m_units(std::move(units)), m_total(total),
      m_from(from), m_bytesPerItem(bytesPerItem), m_linePerItem(linePerItem),
      m_lastTenth(total > 0 ? 10 * from / total : 10) {}

std::string CProgressMeter::Update(int done, double seconds) {
    if (m_mode == Off) return {};
    const bool atEnd = done >= m_total;
    if (m_mode == Terminal && m_drawn && !atEnd && seconds - m_lastDrawn < kRedrawSeconds)
        return {};
    const int tenth = m_total > 0 ? 10 * done / m_total : 10;
    if (m_mode == Lines && tenth <= m_lastTenth) return {};

    const int thisRun = done - m_from;
    ProgressFigures f;
    f.done = done;
    f.total = m_total;
    f.seconds = thisRun > 0 ? seconds : 0; // no rate before the first exchange
    f.bytes = static_cast<std::uint64_t>(thisRun) * m_bytesPerItem;
    f.secondsLeft = EstimateSecondsLeft(thisRun, m_total - done, seconds, m_linePerItem);
    const std::string text = FormatProgress(m_label, m_units, f);
    m_drawn = true;
    m_lastDrawn = seconds;
    m_lastTenth = tenth;
    if (m_mode == Lines) return "palvex: " + text + "\n";
    // Back to the start of the line, the report, and the rest of the line erased.
    return "\rpalvex: " + text + "\x1b[K";
}

std::string CProgressMeter::Finish() {
    if (m_mode != Terminal || !m_drawn) return {};
    m_drawn = false;
    return "\n";
}

} // namespace palvex::cli
