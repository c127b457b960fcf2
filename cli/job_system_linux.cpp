#include "cli/job_system.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

namespace palvex::cli {

std::filesystem::path PathOfWord(const std::string& word) {
    return word;
}

std::string DottedAddress(const std::string& host) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) == 1) return host;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text,
              sizeof text);
    freeaddrinfo(found);
    return text;
}

bool RedrawableTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

} // namespace palvex::cli
