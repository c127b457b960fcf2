#include "sim/modem_front.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace cardsim {

namespace {

// Characters a command line may hold after "AT"; more than the control can
// send in one command, so only a stray flood of text overflows it.
constexpr std::size_t kMaxLine = 128;
// Guard times are kept in S12 in fiftieths of a second.
constexpr int kS12UnitMs = 20;

char Upper(std::uint8_t b) { return static_cast<char>(std::toupper(b)); }

// Digits at s[i..]; nullopt when there are none. Large values are clipped so
// a long run of digits cannot overflow, and still fail any range check.
std::optional<int> Number(const std::string& s, std::size_t& i) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
    int v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        v = std::min(v * 10 + (s[i] - '0'), 100000);
        ++i;
    }
    return v;
}

// A parameter that may be left out (meaning 0) and must not exceed max.
bool Param(const std::string& s, std::size_t& i, int max, int& value) {
    value = Number(s, i).value_or(0);
    return value <= max;
}

// The numeric result codes of the basic Hayes set.
const char* NumericCode(std::string_view text) {
    if (text == "OK") return "0";
    if (text.substr(0, 7) == "CONNECT") return "1";
    if (text == "RING") return "2";
    if (text == "NO CARRIER") return "3";
    if (text == "NO DIALTONE") return "6";
    if (text == "BUSY") return "7";
    if (text == "NO ANSWER") return "8";
    if (text.empty()) return "";
    return "4"; // ERROR, and any text outside the set
}

void Append(std::vector<std::uint8_t>& to, std::string_view text) {
    to.insert(to.end(), text.begin(), text.end());
}

} // namespace

const char* ModemStateName(ModemState state) {
    switch (state) {
    case ModemState::Off: return "off";
    case ModemState::Command: return "command";
    case ModemState::Dialling: return "dialling";
    case ModemState::Online: return "online";
    case ModemState::OnlineCommand: return "online command";
    }
    return "?";
}

std::optional<ModemLineEnd> ParseModemLineEnd(std::string_view text) {
    if (text == "crlf") return ModemLineEnd::CrLf;
    if (text == "lfcr") return ModemLineEnd::LfCr;
    if (text == "blank") return ModemLineEnd::Blank;
    return std::nullopt;
}

CModemFront::CModemFront(const ModemConfig& config)
    : m_config(config), m_state(config.switchedOff ? ModemState::Off : ModemState::Command),
      m_profile(Factory()), m_stored(m_profile) {}

CModemFront::Profile CModemFront::Factory() const {
    Profile p;
    p.echo = m_config.echo;
    p.guardMs = std::max(0, m_config.guardMs);
    p.s[2] = '+';  // escape character
    p.s[3] = '\r'; // ends a command line
    p.s[4] = '\n';
    p.s[5] = 0x08; // backspace
    p.s[6] = 2;
    p.s[7] = 50;
    p.s[8] = 2;
    p.s[10] = 14;
    return p;
}

ModemOutput CModemFront::FromLine(std::span<const std::uint8_t> bytes, TimePoint now) {
    ModemOutput out;
    if (m_state == ModemState::Off) {
        if (!bytes.empty())
            out.events.push_back("switched off, " + std::to_string(bytes.size()) +
                                 " byte(s) ignored");
        return out;
    }
    // Whatever fell due before these bytes came happens first.
    RunDue(now, out);
    for (const std::uint8_t b : bytes) {
        switch (m_state) {
        case ModemState::Online: OnlineByte(b, now, out); break;
        case ModemState::Dialling:
            if (b == m_profile.s[4]) break; // the LF after the command's CR
            out.events.push_back("dial of " + m_dialNumber + " aborted by a byte from the line");
            m_state = ModemState::Command;
            m_assembly = Assembly::WaitA;
            Result("NO CARRIER", out);
            break;
        case ModemState::Command:
        case ModemState::OnlineCommand: CommandByte(b, now, out); break;
        case ModemState::Off: break;
        }
    }
    return out;
}

ModemOutput CModemFront::Tick(TimePoint now) {
    ModemOutput out;
    RunDue(now, out);
    return out;
}

std::optional<CModemFront::TimePoint> CModemFront::NextDeadline() const {
    if (m_state == ModemState::Dialling) return m_dialDue;
    if (m_state == ModemState::Online && m_pluses == 3)
        return m_lastOnlineByte + std::chrono::milliseconds(m_profile.guardMs);
    return std::nullopt;
}

ModemOutput CModemFront::DtrDropped(TimePoint now) {
    ModemOutput out;
    if (m_state == ModemState::Off) return out;
    RunDue(now, out);
    m_assembly = Assembly::WaitA;
    if (m_profile.dtr < 2) {
        out.events.push_back("port closed, DTR ignored (&D" + std::to_string(m_profile.dtr) + ")");
        return out;
    }
    // The answer, if any, would go to a port nobody holds: nothing is sent.
    if (Connected() || m_state == ModemState::Dialling) {
        m_state = ModemState::Command;
        m_pluses = 0;
        out.events.push_back("port closed: DTR dropped, hung up");
    } else {
        out.events.push_back("port closed: DTR dropped");
    }
    if (m_profile.dtr == 3) m_profile = m_stored;
    return out;
}

void CModemFront::RunDue(TimePoint now, ModemOutput& out) {
    if (m_state == ModemState::Dialling && now >= m_dialDue) FinishDial(now, out);
    if (m_state == ModemState::Online && m_pluses == 3 &&
        now >= m_lastOnlineByte + std::chrono::milliseconds(m_profile.guardMs)) {
        m_pluses = 0;
        m_state = ModemState::OnlineCommand;
        m_assembly = Assembly::WaitA;
        out.events.push_back("escape: command state, call kept up");
        Result("OK", out);
    }
}

void CModemFront::FinishDial(TimePoint now, ModemOutput& out) {
    if (!m_dialNumber.empty() && m_dialNumber.back() == ';') {
        // A dial string ending in ';' returns to command state after dialling.
        m_state = ModemState::Command;
        out.events.push_back("dialled " + m_dialNumber + ", back in command state");
        Result("OK", out);
        return;
    }
    const std::string& answer = m_config.dialAnswer;
    if (answer.rfind("CONNECT", 0) == 0) {
        m_connectText = answer;
        GoOnline(now);
        out.events.push_back("dialled " + m_dialNumber + ": " + answer + ", online");
    } else {
        m_state = ModemState::Command;
        out.events.push_back("dialled " + m_dialNumber + ": " +
                             (answer.empty() ? "blank answer" : answer));
    }
    Result(answer, out);
}

void CModemFront::OnlineByte(std::uint8_t b, TimePoint now, ModemOutput& out) {
    out.toCard.push_back(b);
    const auto guard = std::chrono::milliseconds(m_profile.guardMs);
    const auto gap = now - m_lastOnlineByte;
    const bool escape = m_profile.s[2] <= 127 && b == m_profile.s[2];
    if (!escape)
        m_pluses = 0;
    else if (m_pluses > 0 && m_pluses < 3 && gap <= guard)
        ++m_pluses; // the escape characters follow one another within the guard time
    else
        m_pluses = gap >= guard ? 1 : 0; // a first one needs the guard time of silence before
    m_lastOnlineByte = now;
}

void CModemFront::CommandByte(std::uint8_t b, TimePoint now, ModemOutput& out) {
    if (m_profile.echo) out.toLine.push_back(b);
    const char c = Upper(b);
    switch (m_assembly) {
    case Assembly::WaitA:
        if (c == 'A') m_assembly = Assembly::WaitT;
        break;
    case Assembly::WaitT:
        if (c == 'T') {
            m_assembly = Assembly::Body;
            m_line.clear();
            m_lineTooLong = false;
        } else if (c != 'A') {
            m_assembly = Assembly::WaitA;
        }
        break;
    case Assembly::Body:
        if (b == m_profile.s[3]) {
            m_assembly = Assembly::WaitA;
            Execute(now, out);
        } else if (b == m_profile.s[5]) {
            if (!m_line.empty()) m_line.pop_back();
        } else if (b < 0x20 || b == 0x7F) {
            // Other control characters (the LF of a CR LF) are not part of a command.
        } else if (m_line.size() < kMaxLine) {
            m_line += static_cast<char>(b);
        } else {
            m_lineTooLong = true;
        }
        break;
    }
}

void CModemFront::Execute(TimePoint now, ModemOutput& out) {
    const std::string shown = "AT" + m_line;
    if (m_lineTooLong) {
        out.events.push_back("command line over " + std::to_string(kMaxLine) +
                             " characters -> ERROR");
        Result("ERROR", out);
        return;
    }
    std::size_t i = 0;
    while (i < m_line.size()) {
        if (m_line[i] == ' ') {
            ++i;
            continue;
        }
        switch (ExecuteOne(i, now, out)) {
        case Step::Next: continue;
        case Step::EndLine: i = m_line.size(); break;
        case Step::Answered: return; // the command logged and answered itself
        case Step::Error:
            out.events.push_back(shown + " -> ERROR");
            Result("ERROR", out);
            return;
        }
    }
    out.events.push_back(shown + " -> OK");
    Result("OK", out);
}

CModemFront::Step CModemFront::ExecuteOne(std::size_t& i, TimePoint now, ModemOutput& out) {
    const char c = Upper(static_cast<std::uint8_t>(m_line[i++]));
    int n = 0;
    switch (c) {
    case 'E': // the on/off settings: echo, quiet, verbose
    case 'Q':
    case 'V': {
        if (!Param(m_line, i, 1, n)) return Step::Error;
        bool Profile::*const setting = c == 'E'   ? &Profile::echo
                                       : c == 'Q' ? &Profile::quiet
                                                  : &Profile::verbose;
        m_profile.*setting = n == 1;
        return Step::Next;
    }
    case 'H':
        if (!Param(m_line, i, 0, n)) return Step::Error;
        HangUp("ATH", out);
        return Step::Next;
    case 'Z':
        if (!Param(m_line, i, 1, n)) return Step::Error;
        HangUp("ATZ", out);
        m_profile = m_stored;
        return Step::EndLine; // the rest of the line is not read
    case 'O':
        if (!Param(m_line, i, 1, n) || m_state != ModemState::OnlineCommand) return Step::Error;
        GoOnline(now);
        out.events.push_back("AT" + m_line + " -> " + m_connectText + ", back online");
        Result(m_connectText, out);
        return Step::Answered;
    case 'D':
        if (Connected()) return Step::Error;
        m_dialNumber = m_line.substr(i);
        i = m_line.size();
        m_state = ModemState::Dialling;
        m_dialDue = now + std::chrono::milliseconds(std::max(0, m_config.dialDelayMs));
        out.events.push_back("AT" + m_line + " -> dialling " + m_dialNumber);
        return Step::Answered; // the answer comes after the dial delay
    case 'I':
        if (!Param(m_line, i, 9, n)) return Step::Error;
        InfoLine("CARDSIM", out);
        return Step::Next;
    case 'S': return Register(i, out);
    case '&': return Ampersand(i);
    // Speaker, result set, dial method and similar: accepted, no effect on a
    // simulated line.
    case 'B': return Param(m_line, i, 1, n) ? Step::Next : Step::Error;
    case 'L':
    case 'M': return Param(m_line, i, 3, n) ? Step::Next : Step::Error;
    case 'X': return Param(m_line, i, 4, n) ? Step::Next : Step::Error;
    case 'P':
    case 'T': return Step::Next;
    default: return Step::Error;
    }
}

CModemFront::Step CModemFront::Ampersand(std::size_t& i) {
    if (i >= m_line.size()) return Step::Error;
    const char c = Upper(static_cast<std::uint8_t>(m_line[i++]));
    int n = 0;
    switch (c) {
    case 'F':
        if (!Param(m_line, i, 0, n)) return Step::Error;
        m_profile = Factory();
        return Step::Next;
    case 'W':
        if (!Param(m_line, i, 1, n)) return Step::Error;
        m_stored = m_profile;
        return Step::Next;
    case 'D':
        if (!Param(m_line, i, 3, n)) return Step::Error;
        m_profile.dtr = n;
        return Step::Next;
    // DCD, flow control, DSR and the power-on profile: accepted, no effect.
    case 'C':
    case 'S':
    case 'Y': return Param(m_line, i, 1, n) ? Step::Next : Step::Error;
    case 'K': return Param(m_line, i, 6, n) ? Step::Next : Step::Error;
    default: return Step::Error;
    }
}

CModemFront::Step CModemFront::Register(std::size_t& i, ModemOutput& out) {
    const std::optional<int> reg = Number(m_line, i);
    if (!reg || *reg > 255 || i >= m_line.size()) return Step::Error;
    if (m_line[i] == '?') {
        ++i;
        const int v =
            *reg == 12 ? std::min(255, m_profile.guardMs / kS12UnitMs) : m_profile.s[*reg];
        char text[16];
        std::snprintf(text, sizeof text, "%03d", v);
        InfoLine(text, out);
        return Step::Next;
    }
    if (m_line[i] != '=') return Step::Error;
    ++i;
    const int v = Number(m_line, i).value_or(0);
    if (v > 255) return Step::Error;
    if (*reg == 12)
        m_profile.guardMs = v * kS12UnitMs;
    else
        m_profile.s[*reg] = static_cast<std::uint8_t>(v);
    return Step::Next;
}

bool CModemFront::Connected() const {
    return m_state == ModemState::Online || m_state == ModemState::OnlineCommand;
}

void CModemFront::HangUp(const std::string& why, ModemOutput& out) {
    if (!Connected()) return;
    m_state = ModemState::Command;
    m_pluses = 0;
    out.events.push_back("hung up (" + why + ")");
}

void CModemFront::GoOnline(TimePoint now) {
    m_state = ModemState::Online;
    m_lastOnlineByte = now; // the guard before an escape counts from here
    m_pluses = 0;
    m_assembly = Assembly::WaitA;
}

void CModemFront::Result(std::string_view text, ModemOutput& out) const {
    if (m_profile.quiet) return;
    if (m_profile.verbose) {
        Framed(text, out);
        return;
    }
    Append(out.toLine, NumericCode(text));
    out.toLine.push_back('\r');
}

void CModemFront::InfoLine(std::string_view text, ModemOutput& out) const {
    if (m_profile.verbose) {
        Framed(text, out);
        return;
    }
    Append(out.toLine, text);
    Append(out.toLine, "\r\n");
}

void CModemFront::Framed(std::string_view text, ModemOutput& out) const {
    std::string_view end = "\r\n";
    switch (m_config.lineEnd) {
    case ModemLineEnd::CrLf: break;
    case ModemLineEnd::LfCr: end = "\n\r"; break;
    case ModemLineEnd::Blank: end = "\r\n\r\n"; break;
    }
    Append(out.toLine, end);
    Append(out.toLine, text);
    Append(out.toLine, end);
}

} // namespace cardsim
