// Text between the UTF-8 of the portable code and the UTF-16 of the Windows
// calls. Both refuse text that is not valid in its form rather than alter it.
#pragma once

#include <string>
#include <string_view>

namespace palvex::os {

bool WideFromUtf8(std::string_view text, std::wstring& wide);
bool Utf8FromWide(std::wstring_view wide, std::string& text);

} // namespace palvex::os
