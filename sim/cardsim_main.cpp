// cardsim: a simulated LED controller card on a pseudo terminal and/or a
// loopback TCP port, for trying the control without hardware.
#include "sim/card_server.h"
#include "sim/display_options.h"
#include "sim/modem_options.h"
#include "sim/option_number.h"

#include "palvex_version.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

cardsim::CCardServer* g_server = nullptr;

// SIGUSR1: write the snapshot file now.
void OnSnapshotSignal(int) {
    if (g_server != nullptr) g_server->RequestSnapshot();
}

const char kUsage[] =
    "usage: cardsim [--pty PATH] [--tcp PORT] [options]\n"
    "Simulates one LED controller card until SIGINT or SIGTERM.\n"
    "\n"
    "  --pty PATH         serve on a new pty; PATH becomes a symbolic link to its slave\n"
    "  --tcp PORT         serve on 127.0.0.1:PORT (0: any free port)\n"
    "  --card N           card number 0..31 (default 1)\n"
    "  --baud B           the only pty speed the card answers at (default 9600)\n"
    "  --width W          screen width 1..4095 (default 256)\n"
    "  --height H         screen height 1..4095 (default 64)\n"
    "  --flags F          flags byte, decimal or 0x.. (default 0)\n"
    "  --state FILE       keep the property block in FILE across runs\n"
    "  --drop P           share 0..1 of replies not sent\n"
    "  --corrupt P        share of replies with one bit flipped\n"
    "  --truncate P       share of replies sent one byte short\n"
    "  --delay MS[:SHARE] send replies MS late (SHARE of them, default all)\n"
    "  --split N[:GAPMS]  write replies N bytes at a time, GAPMS apart (default 2)\n"
    "  --silent           never answer\n"
    "  --close-after N    tcp: close each connection after N replies\n"
    "  --seed S           seed of the fault decisions (default 1)\n"
    "  --verbose          one line per frame on stdout\n"
    "  --help             this text\n"
    "  --version          the version\n"
    "At least one of --pty and --tcp is required.\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "cardsim: %s\nTry 'cardsim --help' for the options.\n", message.c_str());
    return 2;
}

// Numbers in decimal, 0x.. hex or 0.. octal.
std::optional<long> ParseInt(const std::string& s, long lo, long hi) {
    return cardsim::ParseOptionNumber(s, lo, hi, 0);
}

std::optional<double> ParseShare(const std::string& s) {
    if (s.empty()) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || *end != 0 || !(v >= 0.0 && v <= 1.0)) return std::nullopt;
    return v;
}

// "A" or "A:B" split at the first colon.
std::pair<std::string, std::optional<std::string>> SplitColon(const std::string& s) {
    const auto colon = s.find(':');
    if (colon == std::string::npos) return {s, std::nullopt};
    return {s.substr(0, colon), s.substr(colon + 1)};
}

struct Options {
    cardsim::CardConfig card;
    cardsim::FaultConfig faults;
    std::string ptyPath;
    std::optional<unsigned> tcpPort;
    bool verbose = false;
};

// 0: parsed; 1: --help or --version shown; 2: bad options (message printed).
int ParseOptions(int argc, char** argv, Options& o) {
    enum { kPty = 256, kTcp, kCard, kBaud, kWidth, kHeight, kFlags, kState, kDrop, kCorrupt,
           kTruncate, kDelay, kSplit, kSilent, kCloseAfter, kSeed, kVerbose, kHelp, kVersion };
    static const option kLong[] = {
        {"pty", required_argument, nullptr, kPty},       {"tcp", required_argument, nullptr, kTcp},
        {"card", required_argument, nullptr, kCard},     {"baud", required_argument, nullptr, kBaud},
        {"width", required_argument, nullptr, kWidth},   {"height", required_argument, nullptr, kHeight},
        {"flags", required_argument, nullptr, kFlags},   {"state", required_argument, nullptr, kState},
        {"drop", required_argument, nullptr, kDrop},     {"corrupt", required_argument, nullptr, kCorrupt},
        {"truncate", required_argument, nullptr, kTruncate},
        {"delay", required_argument, nullptr, kDelay},   {"split", required_argument, nullptr, kSplit},
        {"silent", no_argument, nullptr, kSilent},
        {"close-after", required_argument, nullptr, kCloseAfter},
        {"seed", required_argument, nullptr, kSeed},     {"verbose", no_argument, nullptr, kVerbose},
        {"modem", no_argument, nullptr, cardsim::kOptModem},
        {"modem-echo", required_argument, nullptr, cardsim::kOptModemEcho},
        {"dial-delay", required_argument, nullptr, cardsim::kOptDialDelay},
        {"guard", required_argument, nullptr, cardsim::kOptGuard},
        {"line-end", required_argument, nullptr, cardsim::kOptLineEnd},
        {"modem-off", no_argument, nullptr, cardsim::kOptModemOff},
        {"dial-answer", required_argument, nullptr, cardsim::kOptDialAnswer},
        {"snapshot", required_argument, nullptr, cardsim::kOptSnapshot},
        {"pace", no_argument, nullptr, cardsim::kOptPace},
        {"dead-led", required_argument, nullptr, cardsim::kOptDeadLed},
        {"help", no_argument, nullptr, kHelp},
        {"version", no_argument, nullptr, kVersion},     {nullptr, 0, nullptr, 0}};
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, "", kLong, nullptr)) != -1) {
        const std::string arg = optarg != nullptr ? optarg : "";
        std::string name;
        for (const option* l = kLong; l->name != nullptr; ++l)
            if (l->val == c) name = l->name;
        const auto bad = [&] { return Usage("bad value for --" + name + ": '" + arg + "'"); };
        std::optional<long> n;
        std::optional<double> share;
        switch (c) {
        case kPty:
            if (arg.empty()) return bad();
            o.ptyPath = arg;
            break;
        case kTcp:
            if (!(n = ParseInt(arg, 0, 65535))) return bad();
            o.tcpPort = static_cast<unsigned>(*n);
            break;
        case kCard:
            if (!(n = ParseInt(arg, 0, 31))) return bad();
            o.card.cardNumber = static_cast<int>(*n);
            break;
        case kBaud:
            if (!(n = ParseInt(arg, 1, 4000000))) return bad();
            o.card.baud = static_cast<unsigned>(*n);
            break;
        case kWidth:
        case kHeight:
            if (!(n = ParseInt(arg, 1, 4095))) return bad();
            (c == kWidth ? o.card.width : o.card.height) = static_cast<int>(*n);
            break;
        case kFlags:
            if (!(n = ParseInt(arg, 0, 255))) return bad();
            o.card.flags = static_cast<std::uint8_t>(*n);
            break;
        case kState:
            if (arg.empty()) return bad();
            o.card.stateFile = arg;
            break;
        case kDrop:
        case kCorrupt:
        case kTruncate:
            if (!(share = ParseShare(arg))) return bad();
            (c == kDrop ? o.faults.drop : c == kCorrupt ? o.faults.corrupt : o.faults.truncate) = *share;
            break;
        case kDelay: {
            const auto [ms, part] = SplitColon(arg);
            if (!(n = ParseInt(ms, 0, 600000))) return bad();
            o.faults.delayMs = static_cast<int>(*n);
            o.faults.delayShare = 1.0;
            if (part && !(share = ParseShare(*part))) return bad();
            if (part) o.faults.delayShare = *share;
            break;
        }
        case kSplit: {
            const auto [bytes, gap] = SplitColon(arg);
            if (!(n = ParseInt(bytes, 1, 65536))) return bad();
            o.faults.splitBytes = static_cast<int>(*n);
            if (gap && !(n = ParseInt(*gap, 0, 60000))) return bad();
            if (gap) o.faults.splitGapMs = static_cast<int>(*n);
            break;
        }
        case kSilent: o.faults.silent = true; break;
        case kCloseAfter:
            if (!(n = ParseInt(arg, 0, INT_MAX))) return bad();
            o.faults.closeAfter = static_cast<int>(*n);
            break;
        case kSeed:
            if (!(n = ParseInt(arg, 0, 0xFFFFFFFFL))) return bad();
            o.faults.seed = static_cast<std::uint32_t>(*n);
            break;
        case kVerbose: o.verbose = true; break;
        case kHelp:
            std::fputs(kUsage, stdout);
            std::fputs(cardsim::kModemUsage, stdout);
            std::fputs(cardsim::kDisplayUsage, stdout);
            return 1;
        case kVersion:
            std::puts("cardsim " PALVEX_VERSION_TEXT);
            return 1;
        default:
            if (cardsim::IsDisplayOption(c)) {
                if (!cardsim::ApplyDisplayOption(c, arg, o.card)) return bad();
                break;
            }
            if (cardsim::IsModemOption(c)) {
                if (!cardsim::ApplyModemOption(c, arg, o.card.modem)) return bad();
                break;
            }
            return Usage(std::string("unknown option or missing value: ") +
                         (optind > 0 && optind <= argc ? argv[optind - 1] : "?"));
        }
    }
    if (optind < argc) return Usage(std::string("unexpected argument: ") + argv[optind]);
    if (o.ptyPath.empty() && !o.tcpPort) return Usage("give --pty PATH and/or --tcp PORT");
    if (o.card.modem.enabled && o.ptyPath.empty()) return Usage("the modem needs --pty PATH");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    const int parsed = ParseOptions(argc, argv, o);
    if (parsed == 1) return 0;
    if (parsed != 0) return parsed;

    cardsim::CCardServer server(o.card, o.faults);
    if (!o.card.stateFile.empty() && !server.StateLoaded() && !server.LastError().empty()) {
        std::fprintf(stderr, "cardsim: %s\n", server.LastError().c_str());
        return 1;
    }
    if (o.verbose)
        server.SetLogSink([](const std::string& line) {
            std::printf("cardsim: %s\n", line.c_str());
            std::fflush(stdout);
        });

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    g_server = &server;
    struct sigaction snap {};
    snap.sa_handler = OnSnapshotSignal;
    sigemptyset(&snap.sa_mask);
    snap.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &snap, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!o.ptyPath.empty()) {
        if (!server.ServePty(o.ptyPath)) {
            std::fprintf(stderr, "cardsim: %s\n", server.LastError().c_str());
            return 1;
        }
        if (o.card.modem.enabled)
            std::printf("cardsim: modem%s on pty %s -> %s at %u bit/s, card %d behind it\n",
                        o.card.modem.switchedOff ? " (switched off)" : "",
                        server.PtyLinkPath().c_str(), server.PtySlaveName().c_str(),
                        o.card.modem.lineBaud, o.card.cardNumber);
        else
            std::printf("cardsim: card %d on pty %s -> %s at %u bit/s\n", o.card.cardNumber,
                        server.PtyLinkPath().c_str(), server.PtySlaveName().c_str(), o.card.baud);
    }
    if (o.tcpPort) {
        if (!server.ServeTcp(*o.tcpPort)) {
            std::fprintf(stderr, "cardsim: %s\n", server.LastError().c_str());
            return 1;
        }
        std::printf("cardsim: card %d on tcp 127.0.0.1:%u\n", o.card.cardNumber, server.TcpPort());
    }
    if (!o.card.snapshotPath.empty()) {
        // The screen as it starts (dark), so the file is there to watch at once.
        if (!server.WriteSnapshot(o.card.snapshotPath)) {
            std::fprintf(stderr, "cardsim: %s\n", server.LastError().c_str());
            return 1;
        }
        std::printf("cardsim: screen %d x %d, snapshot in %s (SIGUSR1 writes it now)\n",
                    server.DisplayWidth(), server.DisplayHeight(), o.card.snapshotPath.c_str());
    }
    if (o.card.pace) std::printf("cardsim: replies paced at %u bit/s, 10 bits per byte\n", o.card.baud);
    std::fflush(stdout);
    const int rc = server.Run(&g_stop);
    std::signal(SIGUSR1, SIG_IGN);
    g_server = nullptr;
    if (rc != 0) std::fprintf(stderr, "cardsim: %s\n", server.LastError().c_str());
    return rc;
}
