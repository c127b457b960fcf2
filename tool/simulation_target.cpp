// The target of --simulate, "COM<n>@<baud>"; parsed on every system (the
// simulated card itself is Linux's, simulation_linux.cpp).
#include "tool/simulation.h"

#include "control/palvex_facts.h"

#include <charconv>

namespace dravel {

bool ParseSimulationTarget(std::string_view target, SimulationOptions& options) {
    if (!target.starts_with("COM")) return false;
    const std::size_t at = target.find('@');
    if (at == std::string_view::npos) return false;
    int port = 0;
    unsigned baud = 0;
    const std::string_view portText = target.substr(3, at - 3);
    const std::string_view baudText = target.substr(at + 1);
    const auto p = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    const auto b = std::from_chars(baudText.data(), baudText.data() + baudText.size(), baud);
    if (p.ec != std::errc{} || p.ptr != portText.data() + portText.size()) return false;
    if (b.ec != std::errc{} || b.ptr != baudText.data() + baudText.size()) return false;
    if (port < 1 || port > palvex::card::kSearchedPorts || !palvex::card::IsBaudRate(baud)) return false;
    options.port = port;
    options.baud = baud;
    return true;
}

} // namespace dravel
