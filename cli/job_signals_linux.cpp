#include "cli/job_signals.h"

#include <csignal>

namespace palvex::cli {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal) {
    if (g_stopSignal == 0) g_stopSignal = signal;
}

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

struct CStopSignals::SSaved {
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    sigset_t oldMask;
};

struct CStopSignals::CExchange::SHeld {
    sigset_t previous;
};

CStopSignals::CStopSignals() : m_saved(std::make_unique<SSaved>()) {
    g_stopSignal = 0;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESETHAND: the handler stays for a second signal. SA_RESTART for
    // whatever the host does between exchanges.
    sa.sa_flags = SA_RESTART;
    // A signal ignored from the start stays ignored, as for a job a shell
    // started in the background.
    sigaction(SIGINT, nullptr, &m_saved->oldInt);
    sigaction(SIGTERM, nullptr, &m_saved->oldTerm);
    if (m_saved->oldInt.sa_handler != SIG_IGN) sigaction(SIGINT, &sa, nullptr);
    if (m_saved->oldTerm.sa_handler != SIG_IGN) sigaction(SIGTERM, &sa, nullptr);
    // The signals may have been blocked by whoever started the program.
    const sigset_t set = StopSet();
    sigprocmask(SIG_UNBLOCK, &set, &m_saved->oldMask);
}

CStopSignals::~CStopSignals() {
    sigprocmask(SIG_SETMASK, &m_saved->oldMask, nullptr);
    sigaction(SIGINT, &m_saved->oldInt, nullptr);
    sigaction(SIGTERM, &m_saved->oldTerm, nullptr);
}

int CStopSignals::Received() const {
    return g_stopSignal;
}

CStopSignals::CExchange::CExchange() : m_held(std::make_unique<SHeld>()) {
    const sigset_t set = StopSet();
    sigprocmask(SIG_BLOCK, &set, &m_held->previous);
}

CStopSignals::CExchange::~CExchange() {
    // A signal that came meanwhile is handled here, before the job asks.
    sigprocmask(SIG_SETMASK, &m_held->previous, nullptr);
}

} // namespace palvex::cli
