// Texts for the card: the card draws characters in its code page, GBK (one
// byte for ASCII, two for each Chinese character), while command lines carry
// UTF-8. palvex converts display texts before the call.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace palvex::cli {

// The card's code page, as iconv names it (Windows: code page 936).
inline constexpr const char* kCardCodePage = "GBK";

// Converts UTF-8 text to the card's code page. False with a message that
// names the first character that is not valid UTF-8 or has no code in the
// code page; `out` is then empty.
bool ToCardCodePage(std::string_view utf8, std::string& out, std::string& error);

// The system's part of ToCardCodePage (code_page_linux.cpp: iconv;
// code_page_win32.cpp: the Windows code page functions). Done: `out` holds
// the whole text. Stopped: conversion stopped at byte `stoppedAt` of `utf8`,
// which starts a character that is not valid UTF-8 or has no code. Unavailable:
// the system cannot convert at all, `error` says why.
enum class Conversion { Done, Stopped, Unavailable };
Conversion ConvertToCardCodePage(std::string_view utf8, std::string& out, std::size_t& stoppedAt,
                                 std::string& error);

// Length of the well-formed UTF-8 sequence at the start of `s`, 0 when it
// is not one (a stray continuation byte, a cut or overlong sequence, a
// surrogate or a value above U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view s);

} // namespace palvex::cli
