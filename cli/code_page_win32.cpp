// UTF-8 to the card's code page with the Windows code page functions: code
// page 936, the system's name for GBK. Each character is converted on its
// own and converted back, so a character the code page has no code for
// stops the conversion at that character instead of becoming a best-fit or
// default character.
#include "cli/code_page.h"

#include <windows.h>

namespace palvex::cli {
namespace {

constexpr UINT kCardCodePageNumber = 936;

// One well-formed UTF-8 character in the code page; false when it has no
// code there.
bool EncodeCharacter(std::string_view character, std::string& out) {
    wchar_t wide[2] = {};
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, character.data(),
                                          static_cast<int>(character.size()), wide, 2);
    if (units <= 0) return false;
    char bytes[8] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCardCodePageNumber, WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                      sizeof bytes, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    wchar_t back[2] = {};
    const int backUnits =
        MultiByteToWideChar(kCardCodePageNumber, MB_ERR_INVALID_CHARS, bytes, n, back, 2);
    if (backUnits != units || back[0] != wide[0] || (units == 2 && back[1] != wide[1]))
        return false;
    out.append(bytes, static_cast<std::size_t>(n));
    return true;
}

} // namespace

Conversion ConvertToCardCodePage(std::string_view utf8, std::string& out, std::size_t& stoppedAt,
                                 std::string&) {
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t n = Utf8SequenceLength(utf8.substr(at));
        if (n == 0 || !EncodeCharacter(utf8.substr(at, n), out)) {
            stoppedAt = at;
            return Conversion::Stopped;
        }
        at += n;
    }
    return Conversion::Done;
}

} // namespace palvex::cli
