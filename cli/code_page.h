// Texts for the card: the card draws characters in its code page, GBK (one
// byte for ASCII, two for each Chinese character), while command lines carry
// UTF-8. palvex converts display texts before the call.
#pragma once

#include <string>
#include <string_view>

namespace palvex::cli {

// The card's code page, as iconv names it.
inline constexpr const char* kCardCodePage = "GBK";

// Converts UTF-8 text to the card's code page. False with a message that
// names the first character that is not valid UTF-8 or has no code in the
// code page; `out` is then empty.
bool ToCardCodePage(std::string_view utf8, std::string& out, std::string& error);

} // namespace palvex::cli
