#include "control/protocol/reply.h"

#include "control/protocol/frame.h"

#include <cstring>

BOOL CheckReply(int count, std::uint8_t* reply, const std::uint8_t* expected) {
    if (count < 1 || reply[0] != static_cast<std::uint8_t>(count - 1)) return FALSE;
    if (expected != nullptr) {
        if (reply[0] != palvex::kAckCount) return FALSE;
        return std::memcmp(reply + 1, expected, palvex::kAckCount) == 0 ? TRUE : FALSE;
    }
    // The text is twice as long as the bytes it describes and shares their
    // buffer. Writing from the last byte backwards means byte i is read before
    // anything lands on it: its text goes to positions 2i-2 and 2i-1, and the
    // bytes after it write only to positions at or beyond 2i.
    static const char kHex[] = "0123456789ABCDEF";
    const int bytes = count; // reply[1..count]: N data bytes and the zero byte
    reply[2 * bytes] = 0;
    for (int i = bytes; i >= 1; --i) {
        const std::uint8_t b = reply[i];
        reply[2 * (i - 1)] = static_cast<std::uint8_t>(kHex[b >> 4]);
        reply[2 * (i - 1) + 1] = static_cast<std::uint8_t>(kHex[b & 0x0F]);
    }
    return TRUE;
}
