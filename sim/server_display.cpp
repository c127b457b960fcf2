// What the card server does for the screen: the paced line, program runs
// that move on with time, the snapshot file, and the calls that show the
// display banks to tests and to the program.
#include "sim/server_impl.h"

#include "sim/card_state.h"
#include "sim/png_writer.h"

namespace cardsim {

namespace {

// A PNG of a large screen takes tens of milliseconds to encode, so the file
// waits until the control pauses this long (or, while frames keep coming,
// is rewritten at least this often).
constexpr auto kSnapshotQuiet = std::chrono::milliseconds(30);
constexpr auto kSnapshotMaxAge = std::chrono::milliseconds(1000);

// Called with mu held.
RgbImage RenderLocked(const CCardModel& model) {
    const CCardState& state = model.State();
    const CCardDisplay& display = state.Display();
    ScreenLook look;
    look.lit = model.ScreenOn(HostNow());
    look.brightness = state.Device().brightness;
    look.deadLeds = state.Device().DeadLeds();
    return RenderScreen(display.Width(), display.Height(), display.Bank(display.Displayed()), look);
}

} // namespace

SteadyClock::time_point CCardServer::Impl::PacedReplyDue(Channel& ch, std::size_t frameLen,
                                                         std::size_t replyLen) {
    // Ten bits per byte (start, eight data, stop); the frame and then the
    // reply take their turn on the line after whatever it still carries.
    // Behind a modem the line runs at the modem's speed.
    const unsigned speed = modem && ch.pty ? modem->Config().lineBaud : baud.load();
    const unsigned rate = speed > 0 ? speed : 1;
    const auto wire = std::chrono::nanoseconds(
        static_cast<long long>((frameLen + replyLen) * 10 * 1'000'000'000ULL / rate));
    const SteadyClock::time_point start = std::max(ch.frameStart, ch.lineFree);
    ch.lineFree = start + std::chrono::duration_cast<SteadyClock::duration>(wire);
    return ch.lineFree;
}

bool CCardServer::Impl::WriteSnapshotFile(const std::string& path, std::string& error) {
    RgbImage image;
    {
        std::lock_guard lock(mu);
        image = RenderLocked(model);
    }
    // Encoded outside the lock: Stats() and the tests' accessors stay quick.
    const bool ok = WritePng(path, image, error);
    std::lock_guard lock(mu);
    ++(ok ? own.snapshotsWritten : own.snapshotFailures);
    if (!ok) lastError = error;
    return ok;
}

std::optional<SteadyClock::time_point> CCardServer::Impl::SnapshotDue() const {
    // Read and written by the loop's thread only. While replies wait to go
    // out, their own times wake the loop; the file comes after them.
    if (!snapshotDirty || card.snapshotPath.empty()) return std::nullopt;
    if (!ptyChannel.out.empty() || !tcpChannel.out.empty()) return std::nullopt;
    const SteadyClock::time_point input = std::max(ptyChannel.lastInput, tcpChannel.lastInput);
    return std::min(input + kSnapshotQuiet, lastSnapshot + kSnapshotMaxAge);
}

void CCardServer::Impl::DisplayTick(std::vector<std::string>& lines) {
    bool write = snapshotRequested.exchange(false);
    const auto now = SteadyClock::now();
    {
        std::lock_guard lock(mu);
        if (model.ProgramCycles() && model.Tick(HostNow())) {
            snapshotDirty = true;
            if (const auto page = model.State().ShownPage())
                lines.push_back("card: program run shows page " + std::to_string(*page));
        }
        programsCycle = model.ProgramCycles();
        // Written once the replies are out, so the control is not kept
        // waiting for an image.
        const auto due = SnapshotDue();
        write = write || (due && *due <= now);
        if (write) snapshotDirty = false;
    }
    if (!write || card.snapshotPath.empty()) return;
    lastSnapshot = now;
    std::string error;
    if (!WriteSnapshotFile(card.snapshotPath, error)) lines.push_back(error);
}

std::vector<std::uint8_t> CCardServer::DisplayPixels() const {
    std::lock_guard lock(m->mu);
    const CCardDisplay& d = m->model.State().Display();
    return d.Bank(d.Displayed());
}

std::vector<std::uint8_t> CCardServer::BankPixels(int bank) const {
    std::lock_guard lock(m->mu);
    return m->model.State().Display().Bank(bank);
}

int CCardServer::DisplayWidth() const {
    std::lock_guard lock(m->mu);
    return m->model.State().Display().Width();
}

int CCardServer::DisplayHeight() const {
    std::lock_guard lock(m->mu);
    return m->model.State().Display().Height();
}

int CCardServer::DisplayedBank() const {
    std::lock_guard lock(m->mu);
    return m->model.State().Display().Displayed();
}

bool CCardServer::WriteSnapshot(const std::string& path) {
    std::string error;
    return m->WriteSnapshotFile(path, error);
}

void CCardServer::RequestSnapshot() {
    // Only a lock-free store and a write(2): both safe in a signal handler.
    m->snapshotRequested = true;
    if (m->wake) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = ::write(m->wake.Get(), &one, sizeof one);
    }
}

} // namespace cardsim
