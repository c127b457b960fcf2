// Ctrl-C and Ctrl-Break in the console ask the job to stop. The system calls
// the handler on a thread of its own while the job's thread goes on, so an
// exchange in progress is never cut short and nothing needs holding back.
// A process started with Ctrl-C disabled (CREATE_NEW_PROCESS_GROUP) keeps
// it disabled, as a signal ignored from the start stays ignored on Linux;
// Ctrl-Break always arrives. Closing the console, logging off and shutting
// down are left to the system's default.
#include "cli/job_signals.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace palvex::cli {
namespace {

std::atomic<int> g_stopSignal{0};

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, SIGINT);
    return TRUE; // handled: the process goes on to the end of the exchange
}

} // namespace

struct CStopSignals::SSaved {};
struct CStopSignals::CExchange::SHeld {};

CStopSignals::CStopSignals() {
    g_stopSignal = 0;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

CStopSignals::~CStopSignals() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

int CStopSignals::Received() const {
    return g_stopSignal.load();
}

CStopSignals::CExchange::CExchange() = default;
CStopSignals::CExchange::~CExchange() = default;

} // namespace palvex::cli
