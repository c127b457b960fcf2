// Text between the UTF-8 of the portable code and the UTF-16 of the Windows
// calls. Both refuse text that is not valid in its form rather than alter it.
#pragma once

#include <string>
#include <string_view>

namespace palvex::os {

bool WideFromUtf8(std::string_view text, std::wstring& wide);
bool Utf8FromWide(std::wstring_view wide, std::string& text);

// The same for text that is only shown or passed on (the command line, a
// path, a console line): a character that has no form in the other becomes
// U+FFFD instead of refusing the whole.
std::wstring WideOf(std::string_view text);
std::string Utf8Of(std::wstring_view wide);

} // namespace palvex::os
