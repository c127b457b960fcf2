#include "cli/ports_command.h"

#include "platform/ports/port_map.h"

#include <algorithm>
#include <vector>

namespace palvex::cli {

namespace {

using ports::SComPort;

int ComNumber(std::string_view word, std::string& error) {
    const int n = ports::ParseComName(std::string(word));
    if (n == 0) error = "not a port name: " + std::string(word) + " (COM1 to COM256)";
    return n;
}

// The file the number opens or would open; "-" for an adapter not plugged in.
std::string DeviceColumn(const SComPort& p) {
    if (!p.device.empty()) return p.device;
    if (p.port) return ports::UnderDeviceRoot(p.port->node);
    return "-";
}

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

void PrintJson(const std::vector<SComPort>& list, std::FILE* out) {
    std::fputs("[", out);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const SComPort& p = list[i];
        std::fprintf(out, "%s\n  {\"port\": \"COM%d\", \"number\": %d, \"device\": %s, ",
                     i ? "," : "", p.number, p.number,
                     JsonText(DeviceColumn(p) == "-" ? "" : DeviceColumn(p)).c_str());
        std::fprintf(out, "\"usable\": %s, \"source\": \"%s\", \"description\": %s, ",
                     p.device.empty() ? "false" : "true", ports::ComSourceName(p.source),
                     JsonText(p.description).c_str());
        std::fprintf(out, "\"stable_path\": %s, \"present\": %s, \"note\": %s",
                     JsonText(p.stablePath).c_str(), p.present ? "true" : "false",
                     JsonText(p.note).c_str());
        if (p.port) {
            const auto& d = *p.port;
            std::fprintf(out, ", \"node\": %s, \"driver\": %s, \"onboard\": %s, \"console\": %s",
                         JsonText(d.node).c_str(), JsonText(d.driver).c_str(),
                         d.onboard ? "true" : "false", d.console ? "true" : "false");
            if (d.IsUsb())
                std::fprintf(out,
                             ", \"usb\": {\"vendor_id\": %s, \"product_id\": %s, \"manufacturer\": "
                             "%s, \"product\": %s, \"serial\": %s}",
                             JsonText(d.vendorId).c_str(), JsonText(d.productId).c_str(),
                             JsonText(d.manufacturer).c_str(), JsonText(d.product).c_str(),
                             JsonText(d.serialNumber).c_str());
        }
        std::fputs("}", out);
    }
    std::fputs(list.empty() ? "]\n" : "\n]\n", out);
}

void PrintTable(const std::vector<SComPort>& list, std::FILE* out) {
    std::size_t width = 0;
    for (const auto& p : list)
        width = std::max(width, DeviceColumn(p).size());
    for (const auto& p : list) {
        const std::string name = "COM" + std::to_string(p.number);
        std::fprintf(out, "%-6s %-*s %-11s %s", name.c_str(), static_cast<int>(width),
                     DeviceColumn(p).c_str(), ports::ComSourceName(p.source),
                     p.description.c_str());
        if (p.source == ports::ComSource::Automatic && p.stablePath != (p.port ? p.port->node : ""))
            std::fprintf(out, " [%s]", p.stablePath.c_str());
        if (!p.note.empty()) std::fprintf(out, " (%s)", p.note.c_str());
        std::fputc('\n', out);
    }
}

} // namespace

bool ParsePortsCommand(std::span<const std::string_view> words, PortsCommand& out,
                       std::string& error) {
    if (words.empty() || words[0] != "ports") return true;
    out.kind = PortsCommand::List;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string_view w = words[i];
        if (w == "--json") {
            out.json = true;
        } else if ((w == "--forget" || w == "--map") && out.kind == PortsCommand::List) {
            const bool map = w == "--map";
            if (i + 1 + (map ? 1 : 0) >= words.size()) {
                error =
                    map ? "ports --map needs COM<n> and a device" : "ports --forget needs COM<n>";
                return false;
            }
            if ((out.number = ComNumber(words[++i], error)) == 0) return false;
            out.kind = map ? PortsCommand::Map : PortsCommand::Forget;
            if (map) out.device = words[++i];
        } else {
            error = "ports: unexpected " + std::string(w);
            return false;
        }
    }
    if (out.json && out.kind != PortsCommand::List) {
        error = "ports: --json only lists";
        return false;
    }
    return true;
}

int RunPortsCommand(const PortsCommand& command, std::FILE* out, std::FILE* err) {
    std::string message;
    switch (command.kind) {
    case PortsCommand::Forget:
    case PortsCommand::Map: {
        const bool done = command.kind == PortsCommand::Map
                              ? ports::MapComPort(command.number, command.device, message)
                              : ports::ForgetComPort(command.number, message);
        std::fprintf(done ? out : err, "%s%s\n", done ? "" : "palvex: ", message.c_str());
        return done ? 0 : 1;
    }
    case PortsCommand::List: {
        const auto list = ports::ListComPorts();
        if (command.json)
            PrintJson(list, out);
        else if (list.empty())
            std::fputs("palvex: no serial ports found\n", err);
        else
            PrintTable(list, out);
        return 0;
    }
    case PortsCommand::None:
        break;
    }
    return 2;
}

} // namespace palvex::cli
