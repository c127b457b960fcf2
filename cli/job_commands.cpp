#include "cli/job_commands.h"

#include "cli/cli_args.h"
#include "cli/cli_run.h"
#include "cli/job_loop.h"
#include "cli/job_progress.h"
#include "cli/job_signals.h"
#include "cli/job_system.h"
#include "cli/picture_file.h"
#include "cli/picture_preview.h"
#include "control/palvex_facts.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace palvex::cli {
namespace {

void Report(std::FILE* err, const std::string& text) {
    std::fprintf(err, "palvex: %s\n", text.c_str());
}

bool Succeeded(const CallOutcome& r) {
    return SUCCEEDED(r.hr) && !r.returnedFalse;
}

// One method call prepared from its words as a method line would give them
// (the same argument forms, files read now), ready to run again and again.
std::optional<Call> Prepare(IDispatch& control, const MethodTable& methods,
                            const std::vector<std::string>& words, std::string& error) {
    const std::vector<std::string_view> views(words.begin(), words.end());
    CommandLine line;
    if (!ParseCommandLine(views, methods, line, error) || !ResolveIds(control, line.calls, error))
        return std::nullopt;
    return std::move(line.calls.front());
}

// The blocks of a font library file that SendHZLib can read and send; 0
// with a message otherwise.
int FontBlocks(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file = PathOfWord(path);
    const fs::file_status st = fs::status(file, ec);
    if (ec || !fs::is_regular_file(st)) {
        error = "\"" + path + "\" is not a file";
        return 0;
    }
    // The control refuses a read-only library (no write permission for
    // anybody), which would fail every block without a frame being sent.
    constexpr fs::perms kAnyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if ((st.permissions() & kAnyWrite) == fs::perms::none) {
        error = "\"" + path + "\" is read-only: the card is not loaded from a read-only library";
        return 0;
    }
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec || !std::ifstream(file, std::ios::binary).is_open()) {
        error = "\"" + path + "\" cannot be read";
        return 0;
    }
    const int blocks = FontBlockCount(size);
    if (blocks == 0) error = "\"" + path + "\" is empty";
    if (blocks > kMaxFontBlocks)
        error = "\"" + path + "\" has more than " + std::to_string(kMaxFontBlocks) +
                " blocks of 1024 bytes, more than block addresses can reach";
    return blocks > kMaxFontBlocks ? 0 : blocks;
}

class CSendJob {
  public:
    CSendJob(const JobCommand& c, IDispatch& control, const MethodTable& methods, std::FILE* out,
             std::FILE* err)
        : m_c(c), m_control(control), m_methods(methods), m_out(out), m_err(err) {}

    int Run();

  private:
    bool PrepareCalls(std::string& error);
    // Runs a prepared call with the stop signals held back until it returns.
    CallOutcome Exchange(Call& call) {
        CStopSignals::CExchange exchange;
        return RunCall(m_control, call);
    }
    int FromPastTheEnd(const JobWords& words) {
        Report(m_err, words.job + ": --from " + std::to_string(m_c.from) + " is past the last " +
                          words.item + ", " + std::to_string(m_total - 1));
        return 2;
    }
    int Close(int status) {
        if (m_close) Exchange(*m_close);
        return status;
    }
    std::string LinkText() const {
        return m_c.com != 0
                   ? "COM" + std::to_string(m_c.com) + " at " + std::to_string(m_c.baud) + " bit/s"
                   : m_c.netHost + ":" + std::to_string(m_c.netPort);
    }

    const JobCommand& m_c;
    IDispatch& m_control;
    const MethodTable& m_methods;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_font = false;
    int m_total = 0;
    std::optional<Call> m_open, m_arm, m_steps, m_pages, m_item, m_close;
};

bool CSendJob::PrepareCalls(std::string& error) {
    const std::string wait = std::to_string(m_c.waitMs);
    std::vector<std::string> open = {"ComInitial", std::to_string(m_c.com),
                                     std::to_string(m_c.baud), wait};
    if (!m_c.netHost.empty()) {
        const std::string address = DottedAddress(m_c.netHost);
        if (address.empty()) {
            error = "no IPv4 address for \"" + m_c.netHost + "\"";
            return false;
        }
        open = {"NetInitial", "0", address, std::to_string(m_c.netPort), wait};
    }
    const std::string first = std::to_string(m_c.from);
    return (m_open = Prepare(m_control, m_methods, open, error)) &&
           (m_arm = Prepare(m_control, m_methods,
                            {"SetLedProperty", std::to_string(m_c.card), std::to_string(m_c.width),
                             std::to_string(m_c.height)},
                            error)) &&
           (m_steps = Prepare(m_control, m_methods, {"GetSendStepNum"}, error)) &&
           (m_pages = Prepare(m_control, m_methods, {"GetTotalPageNum"}, error)) &&
           (m_item =
                Prepare(m_control, m_methods,
                        m_font ? std::vector<std::string>{"SendHZLib", first, m_c.file}
                               : std::vector<std::string>{"SendPicture", std::to_string(m_c.page),
                                                          first, m_c.file},
                        error)) &&
           (m_close = Prepare(m_control, m_methods, {"QKClose"}, error));
}

int CSendJob::Run() {
    m_font = m_c.verb == JobCommand::SendFont;
    const JobWords words{m_font ? "send-font" : "send-picture page " + std::to_string(m_c.page),
                         m_font ? "block" : "step", m_font ? "SendHZLib" : "SendPicture"};
    std::string error;
    if (m_font && (m_total = FontBlocks(m_c.file, error)) == 0) {
        Report(m_err, "send-font: " + error);
        return 2;
    }
    if (m_font && m_c.from >= m_total) return FromPastTheEnd(words);
    // Every file is read before the link opens.
    if (!PrepareCalls(error)) {
        Report(m_err, words.job + ": " + error);
        return 2;
    }

    CStopSignals signals;
    if (!Succeeded(Exchange(*m_open))) {
        Report(m_err, words.job + ": cannot open the link to " + LinkText());
        std::string printed;
        ReportLinkFailure(m_control, m_err, printed);
        return Close(1);
    }
    if (!Succeeded(Exchange(*m_arm))) {
        Report(m_err, words.job + ": SetLedProperty refused card " + std::to_string(m_c.card) +
                          ", " + std::to_string(m_c.width) + " x " + std::to_string(m_c.height));
        return Close(1);
    }
    if (!m_font) {
        m_total = Exchange(*m_steps).number;
        const int pages = Exchange(*m_pages).number;
        if (m_c.page >= pages) {
            Report(m_err, words.job + ": a " + std::to_string(m_c.width) + " x " +
                              std::to_string(m_c.height) + " screen has pages 0 to " +
                              std::to_string(pages - 1));
            return Close(2);
        }
    }
    if (m_c.from >= m_total) return Close(FromPastTheEnd(words));

    const std::size_t frameBytes =
        (m_font ? static_cast<std::size_t>(card::kFontBlockHeader + card::kFontBlockSize)
                : static_cast<std::size_t>(card::kPictureStepHeader + m_c.width)) +
        card::kFrameOverhead;
    const double linePerItem =
        m_c.com != 0 ? static_cast<double>(frameBytes + card::kAckBytes) * 10 / m_c.baud : 0;
    const auto mode = m_c.quiet                   ? CProgressMeter::Off
                      : RedrawableTerminal(m_err) ? CProgressMeter::Terminal
                                                  : CProgressMeter::Lines;
    CProgressMeter meter(mode, words.job, words.item + "s", m_total, m_c.from, frameBytes,
                         linePerItem);
    const auto start = std::chrono::steady_clock::now();
    const auto show = [&](const std::string& text) {
        std::fputs(text.c_str(), m_err);
        std::fflush(m_err);
    };
    const auto progress = [&](int done) {
        show(meter.Update(
            done, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()));
    };
    if (mode != CProgressMeter::Off)
        Report(m_err, words.job + ": " + std::to_string(m_total - m_c.from) + " " + words.item +
                          "s of " + m_c.file + " to card " + std::to_string(m_c.card) + " on " +
                          LinkText());
    progress(m_c.from);

    Call& item = *m_item;
    ArgSlot& number = item.slots[m_font ? 0 : 1];
    JobItems items;
    items.from = m_c.from;
    items.total = m_total;
    items.stopSignal = [&] { return signals.Received(); };
    items.progress = progress;
    items.exchange = [&](int k) {
        number.number = k;
        const CallOutcome r = Exchange(item);
        return FAILED(r.hr)      ? ItemResult::Refused
               : r.returnedFalse ? ItemResult::Failed
                                 : ItemResult::Acknowledged;
    };
    const JobOutcome outcome = RunJobItems(items);
    show(meter.Finish());
    Close(0);
    const std::string message = OutcomeMessage(words, outcome, m_c.from, m_total);
    if (outcome.end == JobOutcome::Done)
        std::fprintf(m_out, "%s\n", message.c_str());
    else
        Report(m_err, message);
    return ExitStatus(outcome);
}

} // namespace

int RunPreview(const JobCommand& c, std::FILE* out, std::FILE* err) {
    std::vector<std::uint8_t> picture;
    std::string error;
    if (!LoadPictureFile(c.file, picture, error) ||
        !WritePreview(c.outPath, picture, c.width, c.height, error)) {
        Report(err, "preview: " + error);
        return 2;
    }
    std::fprintf(out, "preview: wrote %s, the %d x %d screen of %s\n", c.outPath.c_str(), c.width,
                 c.height, c.file.c_str());
    return 0;
}

int RunSendJob(const JobCommand& command, IDispatch& control, const MethodTable& methods,
               std::FILE* out, std::FILE* err) {
    return CSendJob(command, control, methods, out, err).Run();
}

} // namespace palvex::cli
