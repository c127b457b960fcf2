// A simulated card for one run of the tool: a pseudo terminal served by the
// card simulator on a background thread, mapped to one serial port through
// PALVEX_COM<n>. The other seven ports are mapped to paths that do not
// exist, so a simulated run never touches a real serial device. Everything
// is undone when the object goes. The card itself is Linux's
// (simulation_linux.cpp); the options and their parsing are portable
// (simulation_target.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cardsim {
class CCardServer;
}

namespace dravel {

struct SimulationOptions {
    // COM3 at 28800 bit/s: the first speed a search tries, so a simulated
    // search finds the card on its third probe without waiting on silence.
    int port = 3;
    unsigned baud = 28800;
    int cardNumber = 0;
    std::string stateFile; // empty: the card starts as a fresh 256 x 64 D-type card
};

// "COM<n>@<baud>" with n 1 to 8 and one of the five speeds.
bool ParseSimulationTarget(std::string_view target, SimulationOptions& options);

class CSimulatedCard {
public:
    explicit CSimulatedCard(SimulationOptions options);
    ~CSimulatedCard();
    CSimulatedCard(const CSimulatedCard&) = delete;
    CSimulatedCard& operator=(const CSimulatedCard&) = delete;

    // Creates the pty, maps the ports and starts serving. False with a
    // reason when the card cannot be served (nothing is left mapped).
    bool Start(std::string& error);
    // "card 0 on COM3 at 9600 bit/s (/dev/pts/5)"
    std::string Describe() const;
    cardsim::CCardServer& Server() { return *m_server; }

private:
    void MapPorts();
    void RestorePorts();

    SimulationOptions m_options;
    std::string m_strDir;
    std::unique_ptr<cardsim::CCardServer> m_server;
    std::optional<std::string> m_savedEnv[8];
    bool m_bMapped = false;
};

} // namespace dravel
