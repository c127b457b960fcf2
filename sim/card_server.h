// A simulated card on real descriptors: a pseudo terminal (reached through a
// symbolic link, answering only at its configured speed) and/or a loopback
// TCP socket. One poll() loop serves both, in a background thread (Start) or
// in the caller's thread (Run). Faults can be injected into the replies.
#pragma once

#include "sim/card_model.h"
#include "sim/fault_plan.h"
#include "sim/modem_front.h"

#include <array>
#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cardsim {

struct CardConfig {
    int cardNumber = 1;
    unsigned baud = 9600;
    int width = 256;
    int height = 64;
    std::uint8_t flags = 0;
    std::string stateFile; // empty: the block is not kept between runs
    // A Hayes modem answers the pty in front of the card; the pty's speed
    // check then applies to the modem's line speed instead of `baud`.
    ModemConfig modem;
    // What the screen shows, as a PNG file rewritten after frames that
    // changed it, once the control pauses for 30 ms (empty: none).
    std::string snapshotPath;
    // Replies take the time a real line at `baud` would: a reply is complete
    // (frame bytes + reply bytes) x 10 bits / baud after the frame began.
    bool pace = false;
    // (column, row) of LEDs that stay dark; the self-test reports them.
    std::vector<std::pair<int, int>> deadLeds;
};

struct ServerStats {
    std::uint64_t framesOk = 0;     // addressed to this card with a good CRC
    std::uint64_t badCrc = 0;
    std::uint64_t wrongAddress = 0;
    std::uint64_t wrongSpeed = 0;   // pty: frame completed while the line ran at another speed
    std::uint64_t garbageBytes = 0; // bytes skipped outside any frame
    std::uint64_t repliesSent = 0;  // written completely (truncated ones included)
    std::uint64_t dropped = 0;
    std::uint64_t silenced = 0;     // replies withheld by the silent fault
    std::uint64_t corrupted = 0;
    std::uint64_t truncated = 0;
    std::uint64_t delayed = 0;
    std::uint64_t connectionsAccepted = 0;
    std::uint64_t stateSaveFailures = 0;
    std::uint64_t snapshotsWritten = 0;
    std::uint64_t snapshotFailures = 0;
    std::array<std::uint64_t, 256> perLetter{}; // framesOk by command letter
};

// Receives one line of text per frame and per connection event.
using LogSink = std::function<void(const std::string& line)>;

class CCardServer {
public:
    // Loads the state file when one is named and present; otherwise the block
    // is built from the configured width, height and flags.
    explicit CCardServer(CardConfig card, FaultConfig faults = {});
    ~CCardServer(); // stops, and removes the symbolic link if it is still ours
    CCardServer(const CCardServer&) = delete;
    CCardServer& operator=(const CCardServer&) = delete;

    // Both before Start/Run. linkPath may be empty (no symbolic link).
    bool ServePty(const std::string& linkPath);
    bool ServeTcp(unsigned port); // 127.0.0.1; 0 picks a free port

    unsigned TcpPort() const;
    std::string PtyLinkPath() const;
    std::string PtySlaveName() const;

    bool Start(); // serve in a background thread
    void Stop();  // idempotent; joins the thread
    // Serves in the calling thread until *stop becomes non-zero (set by a
    // signal handler for SIGINT or SIGTERM, which stay blocked outside the
    // wait so none is missed) or Stop() is called. 0 on a normal stop.
    int Run(const volatile std::sig_atomic_t* stop);

    ServerStats Stats() const;
    std::vector<std::uint8_t> LastPayload() const;
    std::array<std::uint8_t, 13> PropertyBlock() const;
    void SetFaults(const FaultConfig& faults); // restarts the fault generator from faults.seed
    void SetBaud(unsigned baud);

    // Additions for the program and for diagnosis.
    void SetLogSink(LogSink sink); // before Start/Run
    std::string LastError() const;
    // True when the block came from the state file.
    bool StateLoaded() const;

    // What the screen shows. Pixel codes of the displayed bank (or of a
    // bank), width x height, row by row: bit 0 red, bit 1 green, bit 2 blue.
    std::vector<std::uint8_t> DisplayPixels() const;
    std::vector<std::uint8_t> BankPixels(int bank) const;
    int DisplayWidth() const;
    int DisplayHeight() const;
    int DisplayedBank() const;
    // Writes the screen as a PNG (snapshot.h); false with LastError() set.
    bool WriteSnapshot(const std::string& path);
    // Has the serving loop write the snapshot file now. Safe to call from a
    // signal handler.
    void RequestSnapshot();

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace cardsim
