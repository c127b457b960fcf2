// Helpers shared by the simulated card's tests: literal hex, frames, bounded
// reads on real descriptors, and waiting for the server to report a frame.
#pragma once

#include "sim/card_server.h"
#include "sim/unique_fd.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

// Upper bound for anything the tests wait for.
constexpr int kWaitMs = 500;

// "1B 24 51" -> {0x1B, 0x24, 0x51}; spaces are ignored.
Bytes Hex(std::string_view text);
std::string ToHex(const Bytes& bytes);

// The frame the control would send to `card` for `payload`.
Bytes MakeFrame(int card, const Bytes& payload);

// Reads until n bytes arrived, the peer closed or waitMs passed without any
// byte. Returns what arrived.
Bytes ReadUpTo(int fd, std::size_t n, int waitMs = kWaitMs);
// Bytes that can be read right now without waiting.
Bytes ReadAvailable(int fd);
bool WriteAll(int fd, const Bytes& bytes);
// True when the peer closed the stream within waitMs.
bool PeerClosed(int fd, int waitMs = kWaitMs);

cardsim::CUniqueFd ConnectLoopback(unsigned port);

// Collects the server's log lines so a test can wait until the server has
// dealt with a frame instead of guessing how long that takes. Declare it
// before the server, so the server (and its thread) is gone first.
class CLogWatch {
public:
    // Before the server starts.
    void Attach(cardsim::CCardServer& server);
    // Waits until `count` lines containing `text` have been logged in all.
    bool WaitFor(std::string_view text, int count = 1, int waitMs = kWaitMs);
    std::vector<std::string> Lines() const;

private:
    int CountLocked(std::string_view text) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
};

// Parses `frame`, which must be one whole frame, and lets `card` answer it.
cardsim::CardAnswer AnswerFrame(cardsim::CCardModel& card, const Bytes& frame,
                                const cardsim::CivilTime& now);

// The cardsim program started as a script starts it, its standard output and
// error on pipes (or both on one); killed at the end of the test.
// Process start and exit are given longer than a reply: a busy machine may
// take a while to schedule a new program.
class CCardsimProcess {
  public:
    static constexpr int kProcessWaitMs = 3000;

    CCardsimProcess() = default;
    CCardsimProcess(const CCardsimProcess&) = delete;
    CCardsimProcess& operator=(const CCardsimProcess&) = delete;
    ~CCardsimProcess();

    bool Spawn(const std::string& program, std::vector<std::string> args, bool mergeErrors = false);
    pid_t Pid() const { return m_pid; }
    // Reads the output until it holds `text`, or `lines` newline characters.
    bool WaitForOutput(std::string_view text);
    bool WaitForLines(int lines);
    const std::string& Output() const { return m_output; }
    // What standard error holds, when not merged into the output.
    std::string ErrorText();
    // Exit status, or -1 when it did not end in time.
    int Wait();

  private:
    pid_t m_pid = -1;
    cardsim::CUniqueFd m_out;
    cardsim::CUniqueFd m_err;
    std::string m_output;
};

// A directory under /tmp removed with its contents at the end of the test.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace simtest
