// UTF-8 to the card's code page with the C library's iconv.
#include "cli/code_page.h"

#include "sim/iconv_handle.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace palvex::cli {

Conversion ConvertToCardCodePage(std::string_view utf8, std::string& out, std::size_t& stoppedAt,
                                 std::string& error) {
    const cardsim::CIconv cd(kCardCodePage, "UTF-8");
    if (!cd.Ok()) {
        error = std::string("this system cannot convert UTF-8 to ") + kCardCodePage + ": " +
                std::strerror(errno);
        return Conversion::Unavailable;
    }
    std::vector<char> in(utf8.begin(), utf8.end());
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    // Two bytes per character at most, so one pass normally suffices.
    std::vector<char> buffer(2 * in.size() + 16);
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t r = iconv(cd.Get(), &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: the character where conversion stopped.
        stoppedAt = static_cast<std::size_t>(inPtr - in.data());
        return Conversion::Stopped;
    }
    return Conversion::Done;
}

} // namespace palvex::cli
