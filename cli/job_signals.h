// Stopping a job on SIGINT or SIGTERM after the exchange in progress.
//
// The handler only records the first signal (a sig_atomic_t); the job asks
// for it between two exchanges. During an exchange both signals are
// blocked, so no wait inside the control returns early with EINTR (a poll
// cut short would shorten the reply's wait, a tcdrain cut short would let
// the next frame start while this one is still going out): a signal that
// comes then is delivered when the exchange is over.
#pragma once

#include <csignal>

namespace palvex::cli {

class CStopSignals {
  public:
    // Installs the handler for SIGINT and SIGTERM (kept after the first
    // signal, so a second Ctrl-C still only asks to stop), except for a
    // signal that is ignored. One at a time.
    CStopSignals();
    // Puts the previous handlers and signal mask back.
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // The first of the two signals that arrived, or 0.
    int Received() const;

    // Blocks both signals for its lifetime: one exchange.
    class CExchange {
      public:
        CExchange();
        ~CExchange();
        CExchange(const CExchange&) = delete;
        CExchange& operator=(const CExchange&) = delete;

      private:
        sigset_t m_previous;
    };

  private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    sigset_t m_oldMask;
};

} // namespace palvex::cli
