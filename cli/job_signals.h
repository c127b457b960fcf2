// Stopping a job after the exchange in progress when the user asks: on
// Linux SIGINT or SIGTERM (job_signals_linux.cpp), on Windows Ctrl-C or
// Ctrl-Break in the console (job_signals_win32.cpp), both reported as
// SIGINT, as the C runtime names them.
//
// The handler only records the first request; the job asks for it between
// two exchanges. On Linux both signals are blocked during an exchange, so no
// wait inside the control returns early with EINTR (a poll cut short would
// shorten the reply's wait, a tcdrain cut short would let the next frame
// start while this one is still going out): a signal that comes then is
// delivered when the exchange is over. Windows calls the console's handler
// on a thread of its own, which interrupts nothing.
#pragma once

#include <memory>

namespace palvex::cli {

class CStopSignals {
  public:
    // Installs the handler (kept after the first request, so a second Ctrl-C
    // still only asks to stop), except for a signal that is ignored. One at a
    // time.
    CStopSignals();
    // Puts the previous handlers (and signal mask) back.
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // The signal of the first request that arrived (SIGINT, SIGTERM), or 0.
    int Received() const;

    // Holds the requests back for its lifetime: one exchange.
    class CExchange {
      public:
        CExchange();
        ~CExchange();
        CExchange(const CExchange&) = delete;
        CExchange& operator=(const CExchange&) = delete;

      private:
        struct SHeld;
        std::unique_ptr<SHeld> m_held;
    };

  private:
    struct SSaved;
    std::unique_ptr<SSaved> m_saved;
};

} // namespace palvex::cli
