// The command line of dravel: no command starts the dialog; "search",
// "configure" and "force" run the same logic without a display, "settings"
// prints what the tool remembers.
#pragma once

#include "tool/simulation.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dravel {

enum class Command { Dialog, Help, Version, Search, Configure, Force, Settings };

struct CommandLine {
    Command command = Command::Dialog;
    std::optional<int> screen;           // search, configure: 0 to 31
    std::optional<std::string> screenText; // force: as typed into the number field
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> module;           // 0 = 8 x 8, 1 = 8 x 4
    std::optional<std::uint8_t> wiring;  // flags byte, bits 7 to 1
    std::optional<int> port;
    std::optional<int> baud;
    std::optional<std::string> password; // force: instead of asking for it
    bool yes = false;
    bool verbose = false; // search, configure: one line per probe
    bool simulate = false;
    SimulationOptions simulation;
};

// Parses the arguments after the program name. nullopt with a reason for
// anything not understood; options that do not belong to the command are
// refused too.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

// "left-to-right,data-invert" -> 0xA0; "none" -> 0.
std::optional<std::uint8_t> ParseWiring(const std::string& list);
// 0xA0 -> "left-to-right,data-invert"; 0 -> "none".
std::string WiringNames(std::uint8_t flags);

} // namespace dravel
