#include "tool/console/console_args.h"

#include "control/palvex_facts.h"
#include "tool/resources/console_texts.h"

#include <charconv>
#include <set>

namespace dravel {

namespace card = palvex::card;

namespace {

constexpr int kWiringCount = 7;

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc{} || r.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Options each command accepts.
const std::set<std::string>& AllowedOptions(Command command) {
    static const std::set<std::string> dialog = {"--simulate"};
    static const std::set<std::string> search = {"--screen", "--yes", "--simulate", "--verbose"};
    static const std::set<std::string> configure = {"--screen", "--width", "--height",
                                                    "--module", "--wiring", "--yes",
                                                    "--simulate", "--verbose"};
    static const std::set<std::string> force = {"--port",     "--baud", "--number", "--screen",
                                                "--password", "--yes",  "--simulate"};
    static const std::set<std::string> settings = {};
    switch (command) {
    case Command::Search: return search;
    case Command::Configure: return configure;
    case Command::Force: return force;
    case Command::Settings: return settings;
    default: return dialog;
    }
}

// Stores one option's value; false with a reason when it is not acceptable.
bool Apply(CommandLine& line, const std::string& name, const std::string& value,
           std::string& error) {
    auto bad = [&](const char* what) {
        error = name + ": " + what + ", not \"" + value + "\"";
        return false;
    };
    if (name == "--screen" || name == "--number") {
        if (line.screen || line.screenText) return bad("one screen number only");
        if (line.command == Command::Force) {
            line.screenText = value; // the dialog's own check applies
            return true;
        }
        const auto n = ParseInt(value);
        if (!n || *n < 0 || *n > card::kMaxLedNum) return bad("a screen number from 0 to 31");
        line.screen = n;
    } else if (name == "--width") {
        const auto n = ParseInt(value);
        if (!n || *n < 8 || *n > card::kMaxLedWidth || *n % 8 != 0)
            return bad("a multiple of 8 from 8 to 512");
        line.width = n;
    } else if (name == "--height") {
        const auto n = ParseInt(value);
        if (!n || *n < 8 || *n > card::kMaxLedHeight || *n % 8 != 0)
            return bad("a multiple of 8 from 8 to 128");
        line.height = n;
    } else if (name == "--module") {
        if (value == "8x8")
            line.module = 0;
        else if (value == "8x4")
            line.module = 1;
        else
            return bad("8x8 or 8x4");
    } else if (name == "--wiring") {
        line.wiring = ParseWiring(value);
        if (!line.wiring) return bad("wiring names separated by commas, or none");
    } else if (name == "--password") {
        line.password = value;
    } else if (name == "--port") {
        const auto n = ParseInt(value);
        if (!n || *n < 1 || *n > 8) return bad("a port number from 1 to 8");
        line.port = n;
    } else if (name == "--baud") {
        const auto n = ParseInt(value);
        if (!n || !card::IsBaudRate(*n)) return bad("9600, 14400, 28800, 38400 or 57600");
        line.baud = n;
    }
    return true;
}

} // namespace

std::optional<std::uint8_t> ParseWiring(const std::string& list) {
    if (list == "none") return std::uint8_t{0};
    std::uint8_t flags = 0;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t comma = list.find(',', start);
        const std::string name =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int bit = -1;
        for (int i = 0; i < kWiringCount; ++i)
            if (name == text::kWiringNames[i]) bit = 7 - i;
        if (bit < 0) return std::nullopt;
        flags = static_cast<std::uint8_t>(flags | (1u << bit));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return flags;
}

std::string WiringNames(std::uint8_t flags) {
    std::string names;
    for (int i = 0; i < kWiringCount; ++i) {
        if (((flags >> (7 - i)) & 1) == 0) continue;
        if (!names.empty()) names += ',';
        names += text::kWiringNames[i];
    }
    return names.empty() ? "none" : names;
}

namespace {

// Options that take no separate value word and may stand before the command
// ("dravel --simulate search").
bool IsLeadingFlag(const std::string& arg) {
    return arg == "--yes" || arg == "--verbose" || arg == "--simulate" ||
           arg.starts_with("--simulate=");
}

// The command word moved to the front when only such flags precede it.
std::vector<std::string> CommandFirst(const std::vector<std::string>& args) {
    std::size_t k = 0;
    while (k < args.size() && IsLeadingFlag(args[k])) ++k;
    if (k == 0 || k == args.size() || args[k].starts_with("-")) return args;
    std::vector<std::string> reordered{args[k]};
    reordered.insert(reordered.end(), args.begin(), args.begin() + static_cast<long>(k));
    reordered.insert(reordered.end(), args.begin() + static_cast<long>(k) + 1, args.end());
    return reordered;
}

} // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& rawArgs,
                                            std::string& error) {
    const std::vector<std::string> args = CommandFirst(rawArgs);
    CommandLine line;
    std::size_t i = 0;
    if (!args.empty()) {
        const std::string& first = args[0];
        if (first == "search") line.command = Command::Search;
        else if (first == "configure") line.command = Command::Configure;
        else if (first == "force") line.command = Command::Force;
        else if (first == "settings") line.command = Command::Settings;
        else if (!first.starts_with("-")) {
            error = "unknown command \"" + first + "\"";
            return std::nullopt;
        }
        if (line.command != Command::Dialog) i = 1;
    }

    std::set<std::string> seen;
    for (; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            line.command = Command::Help;
            return line;
        }
        if (name == "--version" && args.size() == 1) {
            line.command = Command::Version;
            return line;
        }
        if (AllowedOptions(line.command).count(name) == 0) {
            error = "unknown option \"" + name + "\"";
            return std::nullopt;
        }
        if (!seen.insert(name).second) {
            error = name + " given twice";
            return std::nullopt;
        }
        if (name == "--yes" || name == "--verbose" || name == "--simulate") {
            if (name != "--simulate") {
                if (value) {
                    error = name + " takes no value";
                    return std::nullopt;
                }
                (name == "--yes" ? line.yes : line.verbose) = true;
            } else {
                line.simulate = true;
                if (value && !ParseSimulationTarget(*value, line.simulation)) {
                    error = "--simulate: COM<n>@<baud> with n from 1 to 8 and one of the five "
                            "speeds, not \"" + *value + "\"";
                    return std::nullopt;
                }
            }
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (!Apply(line, name, *value, error)) return std::nullopt;
    }
    return line;
}

} // namespace dravel
