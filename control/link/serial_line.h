// A serial device opened exclusively for one control, and the transport that
// carries frames over it.
#pragma once

#include "control/protocol/transport.h"

#include <string>

namespace palvex {

class CSerialLine : public ILinkTransport {
public:
    CSerialLine() = default;
    ~CSerialLine() override { Close(); }
    CSerialLine(const CSerialLine&) = delete;
    CSerialLine& operator=(const CSerialLine&) = delete;

    // Opens `path` for this control alone, raw 8N1 at `baud`. False (and
    // nothing left open) when the device is missing, busy, not a terminal or
    // refuses the speed.
    bool Open(const std::string& path, unsigned baud, const char* name);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int Descriptor() const { return m_fd; }

    // Time allowed for the reply: per byte requested, plus the reply wait.
    void SetReadTimeouts(int perByteMs, int waitMs) {
        m_nPerByteMs = perByteMs;
        m_nWaitMs = waitMs;
    }
    int ReadTotalConstant() const { return m_nWaitMs; }
    void SetReadTotalConstant(int waitMs) { m_nWaitMs = waitMs; }
    void SetMaxAttempts(int n) { m_nAttempts = n; }

    int MaxAttempts() const override { return m_nAttempts; }
    void Purge() override;
    bool Write(const std::uint8_t* data, std::size_t n) override;
    // Waits per-byte time for n bytes plus the wait time set with
    // SetReadTimeouts, as one deadline; `waitMs` is not consulted because the
    // line's own setting is what the serial read uses.
    std::size_t ReadExact(std::uint8_t* buf, std::size_t n, int waitMs) override;
    const char* Describe() const override { return m_strName.c_str(); }

private:
    int m_fd = -1;
    unsigned m_nBaud = 0;
    int m_nPerByteMs = 4;
    int m_nWaitMs = 100;
    int m_nAttempts = 5;
    std::string m_strName;
};

} // namespace palvex
