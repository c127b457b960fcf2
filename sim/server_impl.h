// Internals of CCardServer shared by card_server.cpp (set-up and the public
// calls) and server_loop.cpp (the poll loop). Not for use outside sim/.
#pragma once

#include "sim/card_server.h"
#include "sim/endpoints.h"
#include "sim/frame_parser.h"
#include "sim/unique_fd.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <signal.h>
#include <thread>

namespace cardsim {

using SteadyClock = std::chrono::steady_clock;

// A frame start whose rest has not arrived within this time is given up, as a
// card's receiver resets after a pause in the middle of a frame.
constexpr std::chrono::milliseconds kPartialFrameTimeout{1000};

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
    void Schedule(Channel& ch, std::vector<std::uint8_t>&& reply, int delayMs);
    void FlushDue(Channel& ch, SteadyClock::time_point now, std::vector<std::string>& log);
    int TimeoutMs(SteadyClock::time_point now) const;
    void Emit(std::vector<std::string>& log);

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

    std::thread thread;
    std::atomic<bool> stopRequested{false};
    bool running = false; // a loop is serving (thread or Run)
};

} // namespace cardsim
