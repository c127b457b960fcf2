// A full page of a 512 x 128 picture (all 64 steps) sent through the control
// to the simulated card, which paces its line at 57,600 bit/s with 10 bits
// per byte, beside the wire time of the same bytes: the ratio says how close
// the exchange comes to the line's own limit. The same page on an unpaced
// pty shows what the exchange itself costs. Figures are printed, not checked.
#include "control/link/palvex_ctrl.h"
#include "sim/card_server.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 512;
constexpr int kHeight = 128;
constexpr int kSteps = 64;
constexpr unsigned kBaud = 57600;
constexpr short kBaudArg = static_cast<short>(0xE100); // 57600 as the control's 16-bit argument
constexpr short kComPort = 13;

// One step: a frame of the body (3 + width bytes) plus 11 bytes of header
// and CRC, and a 6-byte acknowledgement, 10 bits a byte.
double WireSecondsPerPage() {
    const double bytes = kSteps * ((3.0 + kWidth + 11.0) + 6.0);
    return bytes * 10.0 / kBaud;
}

std::vector<std::uint8_t> Picture() {
    std::vector<std::uint8_t> buffer(CPalvexCtrl::kPictureBufferSize, 0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            buffer[static_cast<std::size_t>(y) * CPalvexCtrl::kPictureRowPitch + x] =
                static_cast<std::uint8_t>((x / 8 + y / 8) % 8);
    return buffer;
}

void SendPages(benchmark::State& state, bool pace) {
    cardsim::CardConfig card;
    card.width = kWidth;
    card.height = kHeight;
    card.baud = kBaud;
    card.pace = pace;
    cardsim::CCardServer server(card);
    const std::string link = (std::filesystem::temp_directory_path() /
                              ("palvex-bench-picture-" + std::to_string(::getpid())))
                                 .string();
    if (!server.ServePty(link) || !server.Start()) {
        state.SkipWithError("no pty");
        return;
    }
    ::setenv(("PALVEX_COM" + std::to_string(kComPort)).c_str(), link.c_str(), 1);
    CPalvexCtrl ctrl;
    if (!ctrl.ComInitial(kComPort, kBaudArg, 1000) || !ctrl.SetLedProperty(1, kWidth, kHeight)) {
        state.SkipWithError("cannot open the simulated card");
        return;
    }
    const std::vector<std::uint8_t> picture = Picture();
    const auto address = reinterpret_cast<LONG_PTR>(picture.data());
    for (auto _ : state)
        for (short s = 0; s < kSteps; ++s)
            if (!ctrl.SendPicture(0, s, address)) {
                state.SkipWithError("a step was not acknowledged");
                break;
            }
    state.counters["wire_s"] = WireSecondsPerPage();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSteps * (kWidth + 3));
    ctrl.QKClose();
}

void BM_PicturePagePaced57600(benchmark::State& state) {
    SendPages(state, true);
}
void BM_PicturePageUnpaced(benchmark::State& state) {
    SendPages(state, false);
}

// A page takes about six seconds on the paced line: two are enough to see.
BENCHMARK(BM_PicturePagePaced57600)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PicturePageUnpaced)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Keeps each benchmark's seconds per page for the summary.
class CPageReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred && r.iterations > 0)
                m_seconds[r.run_name.function_name] =
                    r.real_accumulated_time / static_cast<double>(r.iterations);
    }
    double Seconds(const std::string& name) const {
        const auto it = m_seconds.find(name);
        return it == m_seconds.end() ? 0 : it->second;
    }

  private:
    std::map<std::string, double> m_seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    CPageReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double wire = WireSecondsPerPage();
    const double paced = reporter.Seconds("BM_PicturePagePaced57600");
    const double unpaced = reporter.Seconds("BM_PicturePageUnpaced");
    std::printf("\n512 x 128 picture page, 64 steps, 57600 bit/s, 10 bits per byte:\n");
    std::printf("  wire time of its bytes      %8.3f s\n", wire);
    if (paced > 0)
        std::printf("  sent to the paced card      %8.3f s   ratio %.3f\n", paced, paced / wire);
    if (unpaced > 0)
        std::printf("  sent to an unpaced card     %8.3f s   (the exchange alone)\n", unpaced);
    benchmark::Shutdown();
    return 0;
}
