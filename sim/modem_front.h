// A Hayes modem in front of the simulated card, as a state machine without
// any I/O: bytes the control writes go in, and out come the bytes the modem
// sends back on the line and, once connected, the bytes it hands on to the
// card. The caller supplies the time, so the dial delay and the guard times of
// the escape sequence run on whatever clock the caller uses.
//
// Command state: every byte is echoed while echo is on; a command line starts
// with "AT" (either case) and ends with CR (S3); backspace (S5) edits it.
// The answers are framed with the configured line ends:
//   AT, settings (B L M P T X &C &D &K &S &Y), Sn=v  -> OK
//   E Q V (0/1)      echo, quiet (no result codes), numeric result codes
//   Sn?              the register's value as three digits, then OK
//   I[n]             an identification line, then OK
//   &F[0]            factory profile (echo as configured), OK
//   &W[n] / Z[n]     store the current profile / restore the stored one, OK
//   H[0]             hang up, OK (also when no call is up)
//   O[0]             back online after an escape: the connect text; else ERROR
//   D<number>        echo at once, then after the dial delay the dial answer
//                    (default "CONNECT 9600", which goes online); a number
//                    ending in ';' answers OK after the delay and stays offline
//   anything else, a bad digit, or a line over 128 characters -> ERROR
// Any byte but LF while dialling aborts the call with NO CARRIER; that byte is
// dropped. Online, every byte goes to the card; "+++" (S2) with at least the
// guard time (S12, in 20 ms units) of silence before and after it returns to
// command state with OK, the call kept up. Dropping DTR (closing the port)
// hangs up under &D2 (factory) and &D3. Switched off, the modem answers
// nothing at all.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cardsim {

enum class ModemLineEnd {
    CrLf,  // "\r\nOK\r\n"
    LfCr,  // "\n\rOK\n\r"
    Blank, // "\r\n\r\nOK\r\n\r\n": a blank line before and after each answer
};

struct ModemConfig {
    bool enabled = false; // the pty is answered by a modem in front of the card
    bool switchedOff = false;
    bool echo = true;       // in the power-on and factory profiles
    int dialDelayMs = 2000; // from the CR of ATD to its answer
    int guardMs = 1000;     // silence before and after "+++"
    ModemLineEnd lineEnd = ModemLineEnd::CrLf;
    // Answer to a dial: text starting with "CONNECT" goes online; "BUSY",
    // "NO CARRIER", "NO ANSWER" or "NO DIALTONE" stay offline; an empty text
    // sends only the line ends.
    std::string dialAnswer = "CONNECT 9600";
    unsigned lineBaud = 57600; // speed of the line between the control and the modem
};

enum class ModemState {
    Off,           // switched off
    Command,       // no call: AT commands
    Dialling,      // ATD given, answer not yet sent
    Online,        // connected: bytes pass to and from the card
    OnlineCommand, // connected, after an escape: AT commands
};

const char* ModemStateName(ModemState state);

// Parses "crlf", "lfcr" or "blank".
std::optional<ModemLineEnd> ParseModemLineEnd(std::string_view text);

struct ModemOutput {
    std::vector<std::uint8_t> toLine; // to write back to the control now
    std::vector<std::uint8_t> toCard; // to hand to the card's receiver
    std::vector<std::string> events;  // one line of text per thing the modem did
};

class CModemFront {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit CModemFront(const ModemConfig& config);

    // Bytes from the control, all arrived at `now`.
    ModemOutput FromLine(std::span<const std::uint8_t> bytes, TimePoint now);
    // Runs what is due by `now`: the dial's answer, the escape's OK.
    ModemOutput Tick(TimePoint now);
    // When Tick next has something to do; none while nothing is pending.
    std::optional<TimePoint> NextDeadline() const;
    // The control closed its port, which drops DTR.
    ModemOutput DtrDropped(TimePoint now);

    ModemState State() const { return m_state; }
    // True while the card's replies go out on the line.
    bool Online() const { return m_state == ModemState::Online; }
    bool Echo() const { return m_profile.echo; }
    int GuardMs() const { return m_profile.guardMs; }
    const ModemConfig& Config() const { return m_config; }

private:
    // Settings that &F, &W and Z handle as a whole.
    struct Profile {
        bool echo = true;
        bool quiet = false;
        bool verbose = true;
        int dtr = 2; // &D: 0/1 ignore a DTR drop, 2 hang up, 3 hang up and reset
        std::array<std::uint8_t, 256> s{}; // S registers; S12 is kept as guardMs
        int guardMs = 1000;
    };
    enum class Step { Next, EndLine, Answered, Error };

    Profile Factory() const;
    void Load(const Profile& p);
    void RunDue(TimePoint now, ModemOutput& out);
    void FinishDial(TimePoint now, ModemOutput& out);
    void CommandByte(std::uint8_t b, TimePoint now, ModemOutput& out);
    void OnlineByte(std::uint8_t b, TimePoint now, ModemOutput& out);
    void Execute(TimePoint now, ModemOutput& out);
    // The command at m_line[i]; advances i past it and its parameters.
    Step ExecuteOne(std::size_t& i, TimePoint now, ModemOutput& out);
    Step Ampersand(std::size_t& i);
    Step Register(std::size_t& i, ModemOutput& out);
    bool Connected() const;
    void HangUp(const std::string& why, ModemOutput& out);
    void GoOnline(TimePoint now);
    void Result(std::string_view text, ModemOutput& out) const;
    void InfoLine(std::string_view text, ModemOutput& out) const;
    void Framed(std::string_view text, ModemOutput& out) const;

    ModemConfig m_config;
    ModemState m_state;
    Profile m_profile;
    Profile m_stored;          // &W writes it, Z reads it
    std::string m_connectText; // of the call that is up

    // Command line being assembled.
    enum class Assembly { WaitA, WaitT, Body } m_assembly = Assembly::WaitA;
    std::string m_line;
    bool m_lineTooLong = false;

    // Dial in progress.
    TimePoint m_dialDue{};
    std::string m_dialNumber;

    // Escape detection while online.
    TimePoint m_lastOnlineByte{};
    int m_pluses = 0;
};

} // namespace cardsim
