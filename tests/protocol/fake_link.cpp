#include "tests/protocol/fake_link.h"

#include <gtest/gtest.h>

#include <cctype>

namespace testing_support {

Bytes Hex(const std::string& text) {
    Bytes out;
    int hi = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                   : std::toupper(c) - 'A' + 10;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

std::string ToHex(const std::uint8_t* data, std::size_t n) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += kHex[data[i] >> 4];
        s += kHex[data[i] & 15];
    }
    return s;
}

Bytes StoredBytes(CPalvexCtrl& c) {
    short count = 0;
    short elems[palvex::kLastFrameCapacity];
    if (!c.GetSendString(&count, elems)) return {};
    Bytes b;
    for (int i = 0; i < count; ++i) b.push_back(static_cast<std::uint8_t>(elems[i]));
    return b;
}

Bytes StoredBody(CPalvexCtrl& c) {
    const Bytes frame = StoredBytes(c);
    if (frame.size() < palvex::kFrameOverhead) return {};
    return Bytes(frame.begin() + palvex::kPayloadOffset, frame.end() - 2);
}

std::tm MakeTime(int year, int month, int day, int hour, int minute, int second, int wday) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_wday = wday;
    return t;
}

CCaptureControl::CCaptureControl(short width, short height) {
    SetSendFlag(0);
    EXPECT_TRUE(SetLedProperty(1, width, height));
}

} // namespace testing_support
