// palvex ports: the COM numbers and the serial devices behind them.
//
//   palvex ports [--json]              one line (or JSON object) per COM number
//   palvex ports --forget COM<n>       releases COMn from the per-user port map
//   palvex ports --map COM<n> DEVICE   maps COMn by hand to DEVICE
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace palvex::cli {

struct PortsCommand {
    enum Kind { None, List, Forget, Map } kind = None;
    bool json = false;
    int number = 0;     // forget, map
    std::string device; // map
};

// Recognises "ports ..." as the first word; kind stays None for any other
// line. False with a message for a ports command with wrong arguments.
bool ParsePortsCommand(std::span<const std::string_view> words, PortsCommand& out,
                       std::string& error);

// Exit status: 0 done, 1 nothing to forget or the map could not be written.
int RunPortsCommand(const PortsCommand& command, std::FILE* out, std::FILE* err);

} // namespace palvex::cli
