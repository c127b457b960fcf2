#include "cli/module_commands.h"

#include "cli/png_write.h"

#include <charconv>

namespace palvex::cli {

namespace {

constexpr unsigned kMaxPictureSide = 4096;

bool ParseSide(std::string_view text, unsigned& value) {
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && value >= 1 && value <= kMaxPictureSide;
}

// "WIDTHxHEIGHT"
bool ParseSize(std::string_view text, unsigned& width, unsigned& height) {
    const std::size_t x = text.find('x');
    return x != std::string_view::npos && ParseSide(text.substr(0, x), width) &&
           ParseSide(text.substr(x + 1), height);
}

} // namespace

bool ParseModuleCommand(std::span<const std::string_view> words, ModuleCommand& out,
                        std::string& error) {
    out = ModuleCommand{};
    std::size_t i = 0;
    bool verbose = false;
    for (; i < words.size() && (words[i] == "--verbose" || words[i] == "-v"); ++i)
        verbose = true;
    if (i == words.size()) return true;

    const std::string_view name = words[i];
    const std::span<const std::string_view> rest = words.subspan(i + 1);
    ModuleCommand c;
    c.verbose = verbose;
    if (name == "register") {
        c.kind = ModuleCommand::Register;
        if (rest.size() > 1) {
            error = "register takes at most one module file";
            return false;
        }
        if (!rest.empty()) c.modulePath = rest[0];
    } else if (name == "unregister" || name == "typelib") {
        c.kind = name == "typelib" ? ModuleCommand::TypeLib : ModuleCommand::Unregister;
        if (!rest.empty()) {
            error = std::string(name) + " takes no arguments";
            return false;
        }
    } else if (name == "draw") {
        c.kind = ModuleCommand::Draw;
        if (rest.empty() || rest.size() > 2) {
            error = "draw takes a PNG file and optionally WIDTHxHEIGHT";
            return false;
        }
        c.pngPath = rest[0];
        if (rest.size() == 2 && !ParseSize(rest[1], c.width, c.height)) {
            error.assign(1, '"');
            error.append(rest[1]).append("\" is not a size WIDTHxHEIGHT of 1 to ");
            error.append(std::to_string(kMaxPictureSide)).append(" pixels each");
            return false;
        }
    } else {
        return true;
    }
    out = std::move(c);
    return true;
}

int WriteDrawnPicture(const ModuleCommand& command, const std::vector<std::uint8_t>& rgba,
                      std::FILE* out, std::FILE* err) {
    std::string error;
    if (!WriteRgbaPng(command.pngPath, rgba, command.width, command.height, error)) {
        std::fprintf(err, "palvex: %s\n", error.c_str());
        return 2;
    }
    std::fprintf(out, "palvex: wrote %s (%u x %u)\n", command.pngPath.c_str(), command.width,
                 command.height);
    return 0;
}

} // namespace palvex::cli
