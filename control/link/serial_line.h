// A serial device opened exclusively for one control, and the transport that
// carries frames over it.
#pragma once

#include "control/link/line_settings.h"
#include "control/protocol/transport.h"

#include <memory>
#include <string>

namespace palvex {

class CSerialLine : public ILinkTransport {
  public:
    static constexpr int kPerByteMs = 4;

    CSerialLine() = default;
    // Gives the line settings and the exclusive use of the terminal back
    // before the descriptor closes.
    ~CSerialLine() override { Close(); }
    CSerialLine(const CSerialLine&) = delete;
    CSerialLine& operator=(const CSerialLine&) = delete;

    // Opens `path` for this control alone, raw 8N1 at `baud`, keeping the
    // line settings it had. False (and nothing left open, the settings as
    // they were) when the device is missing, busy, not a terminal or refuses
    // the speed; LastError() then says which and LastErrorDetail() what the
    // system tells about it (the path, the holder, the fix).
    bool Open(const std::string& path, unsigned baud, const char* name);
    // Sets the line back to the settings it had before Open and lets it go.
    void Close();
    bool IsOpen() const { return m_port != nullptr; }
    // The open terminal's descriptor, -1 when closed (Linux only: tests ask
    // the terminal about its exclusive flag).
    int Descriptor() const;

    void SetMaxAttempts(int n) { m_nAttempts = n; }

    int MaxAttempts() const override { return m_nAttempts; }
    // A reply byte is given 4 ms on every speed the card runs at.
    int PerByteMs() const override { return kPerByteMs; }
    void Purge() override;
    bool Write(const std::uint8_t* data, std::size_t n) override;
    // Gathers n bytes, however they arrive, until the deadline passes.
    std::size_t ReadExact(std::uint8_t* buf, std::size_t n, const CDeadline& deadline) override;
    const char* Describe() const override { return m_strName.c_str(); }
    // Why the last Open, Write or ReadExact failed; none after a success.
    LinkError LastError() const override { return m_lastError; }
    // For a failed Open: the detail for the user, naming the device path;
    // "" otherwise.
    const std::string& LastErrorDetail() const { return m_strErrorDetail; }

  private:
    // Records `why` as the reason of the operation under way; returns false.
    bool Fail(LinkError why) {
        m_lastError = why;
        return false;
    }
    // The same for a read that stops after `got` bytes; returns `got`.
    std::size_t ShortRead(std::size_t got, LinkError why) {
        m_lastError = why;
        return got;
    }

    // Records `why` for the open of `path` with its detail; returns false.
    bool FailOpen(const std::string& path, unsigned baud, LinkError why);

    // The open port as the system holds it: a descriptor on Linux, a HANDLE
    // on Windows. The file of each system defines it and closes it.
    struct SOpenPort;
    struct SOpenPortDeleter {
        void operator()(SOpenPort* port) const;
    };

    std::unique_ptr<SOpenPort, SOpenPortDeleter> m_port;
    SSavedLineSettings m_savedLine; // as the line was before Open changed it
    unsigned m_nBaud = 0;
    int m_nAttempts = 5;
    std::string m_strName;
    LinkError m_lastError;
    std::string m_strErrorDetail;
};

} // namespace palvex
