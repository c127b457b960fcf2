// Result codes in words, for messages: "0x80020006 (unknown name)". Free of
// any system's types, so hosts on every system give the same texts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace palvex {

// A short English description of a result code.
inline const char* HresultText(std::int32_t hr) {
    static constexpr struct {
        std::uint32_t code;
        const char* text;
    } kTexts[] = {
        {0x00000000u, "success"},
        {0x00000001u, "success (false)"},
        {0x80004001u, "not implemented"},
        {0x80004002u, "no such interface"},
        {0x80004003u, "null pointer"},
        {0x80004005u, "failure"},
        {0x8000FFFFu, "unexpected call"},
        {0x8007000Eu, "out of memory"},
        {0x80070057u, "invalid argument"},
        {0x8007007Au, "buffer too small"},
        {0x8007007Eu, "module not found or not a control module"},
        {0x80020001u, "unknown interface"},
        {0x80020003u, "unknown member"},
        {0x80020004u, "parameter not found"},
        {0x80020005u, "type mismatch"},
        {0x80020006u, "unknown name"},
        {0x80020007u, "named arguments not supported"},
        {0x80020008u, "bad variant type"},
        {0x8002000Au, "value out of range"},
        {0x8002000Bu, "bad index"},
        {0x8002000Eu, "wrong number of arguments"},
        {0x8002000Fu, "parameter not optional"},
        {0x8002802Bu, "element not found"},
        {0x8003001Du, "write fault"},
        {0x8003001Eu, "read fault"},
        {0x80040110u, "class cannot be aggregated"},
        {0x80040111u, "class not available"},
        {0x80040200u, "type library could not be (un)registered"},
        {0x80040201u, "class could not be (un)registered"},
    };
    for (const auto& t : kTexts)
        if (t.code == static_cast<std::uint32_t>(hr)) return t.text;
    return "unknown error";
}

// "0x80040201 (class could not be (un)registered)"
inline std::string HresultMessage(std::int32_t hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    return std::string(code) + " (" + HresultText(hr) + ")";
}

} // namespace palvex
