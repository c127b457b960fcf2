#include "control/protocol/modem_reply.h"

#include <cstring>

void NormalizeModemReply(const char* src, char* dst, std::size_t dstSize) {
    std::size_t n = 0;
    const std::size_t limit = dstSize - 2; // room for a final CR and the terminator
    for (const char* p = src; *p != '\0' && n < limit; ++p) {
        if (*p == '\r' || *p == '\n') {
            if (n == 0 || dst[n - 1] != '\r') dst[n++] = '\r';
        } else {
            dst[n++] = *p;
        }
    }
    if (n == 0 || dst[n - 1] != '\r') dst[n++] = '\r';
    dst[n] = '\0';
}

bool ModemReplyLine(const char* text, int index, char* out, std::size_t outSize) {
    const char* p = text;
    int line = 0;
    while (*p != '\0') {
        while (*p == '\r') ++p; // empty lines do not count
        if (*p == '\0') break;
        const char* end = std::strchr(p, '\r');
        const std::size_t len = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (line == index) {
            const std::size_t keep = len < outSize - 1 ? len : outSize - 1;
            std::memcpy(out, p, keep);
            out[keep] = '\0';
            return true;
        }
        ++line;
        p += len;
    }
    return false;
}
