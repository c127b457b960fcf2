// Internals of CCardServer shared by card_server.cpp (set-up and the public
// calls) and server_loop.cpp (the poll loop). Not for use outside sim/.
#pragma once

#include "sim/card_server.h"
#include "sim/endpoints.h"
#include "sim/frame_parser.h"
#include "sim/modem_front.h"
#include "sim/modem_port_watch.h"
#include "sim/unique_fd.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <signal.h>
#include <thread>

namespace cardsim {

using SteadyClock = std::chrono::steady_clock;

// A frame start whose rest has not arrived within this time is given up, as a
// card's receiver resets after a pause in the middle of a frame.
constexpr std::chrono::milliseconds kPartialFrameTimeout{1000};

// The host's local time, which the card's clock runs from (server_loop.cpp).
CivilTime HostNow();

// Pieces of replies a channel may hold while its peer does not read.
constexpr std::size_t kMaxQueuedChunks = 4096;

// One write of a reply (a whole reply, or one piece of a split one).
struct OutChunk {
    SteadyClock::time_point due;
    std::vector<std::uint8_t> bytes;
    std::size_t sent = 0;
    bool endsReply = false;
};

// A descriptor the card talks on: the pty master or the current connection.
struct Channel {
    const char* name = "";
    bool pty = false;
    int fd = -1;             // -1: inactive
    CUniqueFd connection;    // owns fd for TCP; the pty master is owned by PtyPair
    CFrameParser parser;
    std::uint64_t garbageCounted = 0; // parser garbage already added to the stats
    SteadyClock::time_point lastInput{};
    std::deque<OutChunk> out;
    bool writeBlocked = false; // the last write would have blocked: wait for POLLOUT
    int repliesSent = 0;       // on this connection
    // Pacing (CardConfig::pace): when the frame being received began, and
    // until when the emulated line is busy with earlier frames and replies.
    SteadyClock::time_point frameStart{};
    SteadyClock::time_point lineFree{};
};

struct CCardServer::Impl {
    Impl(CardConfig c, const FaultConfig& f);

    // Loop (server_loop.cpp).
    int Loop(const volatile std::sig_atomic_t* stop, const sigset_t* waitMask);
    void Accept(std::vector<std::string>& log);
    void CloseConnection(Channel& ch, const std::string& why, std::vector<std::string>& log);
    void ReadInput(Channel& ch, std::vector<std::string>& log);
    void HandleFrames(Channel& ch, std::vector<ParsedFrame>&& frames, std::vector<std::string>& log);
    void HandleFrame(Channel& ch, const ParsedFrame& frame, std::vector<std::string>& log);
    // notBefore: a paced reply's completion time.
    void Schedule(Channel& ch, std::vector<std::uint8_t>&& reply, int delayMs,
                  SteadyClock::time_point notBefore = {});
    void FlushDue(Channel& ch, SteadyClock::time_point now, std::vector<std::string>& log);
    int TimeoutMs(SteadyClock::time_point now) const;
    void Emit(std::vector<std::string>& log);

    // The modem in front of the card on the pty (modem_server.cpp).
    bool SetUpModem(std::string& error);
    void ModemInput(Channel& ch, const std::uint8_t* data, std::size_t n, std::vector<std::string>& log);
    void ModemTick(SteadyClock::time_point now, std::vector<std::string>& log);
    void ModemPortClosed(std::vector<std::string>& log);
    void ModemApply(Channel& ch, ModemOutput&& out, SteadyClock::time_point now,
                    std::vector<std::string>& log);

    // What the screen shows (server_display.cpp).
    // When a paced reply to a frame of frameLen bytes is complete.
    SteadyClock::time_point PacedReplyDue(Channel& ch, std::size_t frameLen, std::size_t replyLen);
    // Moves a program run on and writes the snapshot file when due.
    void DisplayTick(std::vector<std::string>& log);
    // When the snapshot file is next due, if a change waits for it.
    std::optional<SteadyClock::time_point> SnapshotDue() const;
    bool WriteSnapshotFile(const std::string& path, std::string& error);

    CardConfig card;
    std::string stateError;
    bool stateLoaded = false;

    mutable std::mutex mu; // guards everything below up to the endpoints
    CCardModel model;
    CFaultPlan faults;
    ServerStats own; // the server's counters; the model keeps the frame counters
    std::string lastError;

    std::atomic<unsigned> baud;
    LogSink log;

    PtyPair pty;
    std::string linkPath;
    CUniqueFd listener;
    unsigned port = 0;
    CUniqueFd wake; // eventfd that interrupts the wait
    Channel ptyChannel;
    Channel tcpChannel;

    std::unique_ptr<CModemFront> modem; // only when card.modem.enabled; used by the loop
    CPortCloseWatch modemWatch;

    // Snapshot file (card.snapshotPath): rewritten once the replies to
    // frames that changed the screen are out; SIGUSR1 asks for it at once.
    bool snapshotDirty = false; // under mu
    SteadyClock::time_point lastSnapshot{};
    std::atomic<bool> snapshotRequested{false};
    std::atomic<bool> programsCycle{false}; // the loop wakes to move a program run on

    std::thread thread;
    std::atomic<bool> stopRequested{false};
    bool running = false; // a loop is serving (thread or Run)
};

} // namespace cardsim
