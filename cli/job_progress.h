// Progress of a job of many exchanges (font blocks, picture steps): the text
// of one progress report, the time left, and when to report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace palvex::cli {

// The figures one report shows. `done` counts from the start of the whole
// job (blocks a resumed job skipped count as done); `seconds` and `bytes`
// cover this run only.
struct ProgressFigures {
    int done = 0;
    int total = 0;
    double seconds = 0;      // since this run began
    std::uint64_t bytes = 0; // written to the link in this run
    double secondsLeft = -1; // below 0: not known yet
};

// "send-font  42% 109/260 blocks, 1130 B/s, 2:05 left"; the rate reads
// "-- B/s" until time has passed, the time left "--:--" while unknown.
std::string FormatProgress(const std::string& label, const std::string& units,
                           const ProgressFigures& figures);

// "0:07", "2:05", "1:02:03".
std::string FormatDuration(double seconds);

// The time left for `remaining` exchanges when `doneThisRun` took `elapsed`
// seconds. `linePerItem` is what one exchange takes on the line at its speed
// (0 when the link has no known speed). The line's figure counts as
// kLineWeight exchanges measured, so the estimate starts from the line speed
// and moves to what is measured as the job goes on. -1 when nothing is
// known yet.
constexpr double kLineWeight = 2;
double EstimateSecondsLeft(int doneThisRun, int remaining, double elapsed, double linePerItem);

// Decides when to report, and how.
class CProgressMeter {
  public:
    enum Mode {
        Off,      // --quiet
        Terminal, // one line rewritten in place ("\r" ... erase to the end)
        Lines,    // one line of its own each time another tenth is done
    };

    // Reports "label P% done/total units"; the job starts at `from`, each
    // exchange writes `bytesPerItem` bytes and takes `linePerItem` seconds on
    // the line (0 when unknown).
    CProgressMeter(Mode mode, std::string label, std::string units, int total, int from,
                   std::size_t bytesPerItem, double linePerItem);

    // The text to write when `done` exchanges are done, `seconds` after this
    // run began; empty when nothing is due. A terminal line is redrawn at
    // most every kRedrawSeconds, and always at the start and at the end.
    static constexpr double kRedrawSeconds = 0.2;
    std::string Update(int done, double seconds);
    // What ends the report (the terminal line's newline), before any other
    // message is written.
    std::string Finish();

  private:
    Mode m_mode;
    std::string m_label;
    std::string m_units;
    int m_total;
    int m_from;
    std::size_t m_bytesPerItem;
    double m_linePerItem;
    bool m_drawn = false;
    double m_lastDrawn = 0;
    int m_lastTenth;
};

} // namespace palvex::cli
