#include "tool/simulation.h"

#include "control/palvex_facts.h"
#include "sim/card_server.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace dravel {

namespace {

constexpr int kPorts = 8;

std::string PortVariable(int n) {
    return "PALVEX_COM" + std::to_string(n);
}

} // namespace

CSimulatedCard::CSimulatedCard(SimulationOptions options) : m_options(std::move(options)) {}

CSimulatedCard::~CSimulatedCard() {
    RestorePorts();
    m_server.reset(); // stops the thread and removes the link
    if (!m_strDir.empty()) ::rmdir(m_strDir.c_str());
}

bool CSimulatedCard::Start(std::string& error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/dravel-sim-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "mkdtemp: " + std::string(std::strerror(errno));
        return false;
    }
    m_strDir = pattern;

    cardsim::CardConfig card;
    card.cardNumber = m_options.cardNumber;
    card.baud = m_options.baud;
    card.stateFile = m_options.stateFile;
    m_server = std::make_unique<cardsim::CCardServer>(card);
    const std::string link = m_strDir + "/COM" + std::to_string(m_options.port);
    if (!m_server->ServePty(link) || !m_server->Start()) {
        error = m_server->LastError();
        m_server.reset();
        return false;
    }
    MapPorts();
    return true;
}

void CSimulatedCard::MapPorts() {
    for (int n = 1; n <= kPorts; ++n) {
        const std::string var = PortVariable(n);
        if (const char* old = std::getenv(var.c_str())) m_savedEnv[n - 1] = old;
        const std::string path =
            m_strDir + (n == m_options.port ? "/COM" : "/absent-COM") + std::to_string(n);
        ::setenv(var.c_str(), path.c_str(), 1);
    }
    m_bMapped = true;
}

void CSimulatedCard::RestorePorts() {
    if (!m_bMapped) return;
    for (int n = 1; n <= kPorts; ++n) {
        const std::string var = PortVariable(n);
        if (m_savedEnv[n - 1])
            ::setenv(var.c_str(), m_savedEnv[n - 1]->c_str(), 1);
        else
            ::unsetenv(var.c_str());
    }
    m_bMapped = false;
}

std::string CSimulatedCard::Describe() const {
    std::string text = "card " + std::to_string(m_options.cardNumber) + " on COM" +
                       std::to_string(m_options.port) + " at " + std::to_string(m_options.baud) +
                       " bit/s";
    if (m_server) text += " (" + m_server->PtySlaveName() + ")";
    return text;
}

} // namespace dravel
