#include "sim/card_server.h"

#include "sim/server_impl.h"
#include "sim/state_file.h"

#include <cerrno>
#include <cstring>
#include <sys/eventfd.h>

namespace cardsim {

namespace {

cardsim::PropertyBlock InitialBlock(const CardConfig& c, bool& loaded, std::string& error) {
    cardsim::PropertyBlock block = MakePropertyBlock(c.width, c.height, c.flags);
    loaded = false;
    if (c.stateFile.empty()) return block;
    cardsim::PropertyBlock stored{};
    switch (LoadStateFile(c.stateFile, stored, error)) {
    case StateLoad::Loaded:
        loaded = true;
        return stored;
    case StateLoad::Missing:
    case StateLoad::Invalid: return block;
    }
    return block;
}

} // namespace

CCardServer::Impl::Impl(CardConfig c, const FaultConfig& f)
    : card(std::move(c)),
      model(card.cardNumber, InitialBlock(card, stateLoaded, stateError), card.deadLeds),
      faults(f),
      baud(card.baud) {
    ptyChannel.name = "pty";
    ptyChannel.pty = true;
    tcpChannel.name = "tcp";
    wake.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake) lastError = std::string("eventfd: ") + std::strerror(errno);
    if (!stateError.empty()) lastError = stateError;
}

CCardServer::CCardServer(CardConfig card, FaultConfig faults)
    : m(std::make_unique<Impl>(std::move(card), faults)) {}

CCardServer::~CCardServer() {
    Stop();
    if (!m->linkPath.empty()) RemoveSymlinkTo(m->linkPath, m->pty.slaveName);
}

bool CCardServer::ServePty(const std::string& linkPath) {
    std::string error;
    if (m->running || m->pty.master) {
        error = "pty already served or server running";
    } else if (OpenPtyPair(m->pty, error)) {
        // The modem watches the port before the link makes it reachable.
        if (m->SetUpModem(error) &&
            (linkPath.empty() || PointSymlink(linkPath, m->pty.slaveName, error))) {
            m->linkPath = linkPath;
            m->ptyChannel.fd = m->pty.master.Get();
            return true;
        }
        m->pty = PtyPair{};
    }
    std::lock_guard lock(m->mu);
    m->lastError = error;
    return false;
}

bool CCardServer::ServeTcp(unsigned port) {
    std::string error;
    if (m->running || m->listener) {
        error = "tcp already served or server running";
    } else {
        m->listener = ListenLoopback(port, m->port, error);
        if (m->listener) return true;
    }
    std::lock_guard lock(m->mu);
    m->lastError = error;
    return false;
}

unsigned CCardServer::TcpPort() const { return m->port; }
std::string CCardServer::PtyLinkPath() const { return m->linkPath; }
std::string CCardServer::PtySlaveName() const { return m->pty.slaveName; }

bool CCardServer::Start() {
    if (m->running || !m->wake || (!m->pty.master && !m->listener)) return false;
    m->stopRequested = false;
    m->running = true;
    m->thread = std::thread([this] { m->Loop(nullptr, nullptr); });
    return true;
}

void CCardServer::Stop() {
    m->stopRequested = true;
    if (m->wake) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = ::write(m->wake.Get(), &one, sizeof one);
    }
    if (m->thread.joinable()) {
        m->thread.join();
        m->running = false;
    }
}

int CCardServer::Run(const volatile std::sig_atomic_t* stop) {
    if (m->running || !m->wake || (!m->pty.master && !m->listener)) return 1;
    m->stopRequested = false;
    m->running = true;
    // SIGINT and SIGTERM are let through only while the loop waits, so a
    // signal that arrives between the check of *stop and the wait still ends
    // the wait instead of being noticed one event later.
    sigset_t block;
    sigset_t old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    sigset_t waitMask = old;
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    const int rc = m->Loop(stop, &waitMask);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    m->running = false;
    return rc;
}

ServerStats CCardServer::Stats() const {
    std::lock_guard lock(m->mu);
    ServerStats s = m->own;
    const CardCounters& c = m->model.Counters();
    s.framesOk = c.framesOk;
    s.badCrc = c.badCrc;
    s.wrongAddress = c.otherAddress;
    s.perLetter = c.perLetter;
    return s;
}

std::vector<std::uint8_t> CCardServer::LastPayload() const {
    std::lock_guard lock(m->mu);
    return m->model.LastPayload();
}

std::array<std::uint8_t, 13> CCardServer::PropertyBlock() const {
    std::lock_guard lock(m->mu);
    return m->model.Block();
}

void CCardServer::SetFaults(const FaultConfig& faults) {
    std::lock_guard lock(m->mu);
    m->faults.Reset(faults);
}

void CCardServer::SetBaud(unsigned baud) { m->baud = baud; }

void CCardServer::SetLogSink(LogSink sink) {
    if (!m->running) m->log = std::move(sink);
}

std::string CCardServer::LastError() const {
    std::lock_guard lock(m->mu);
    return m->lastError;
}

bool CCardServer::StateLoaded() const { return m->stateLoaded; }

} // namespace cardsim
