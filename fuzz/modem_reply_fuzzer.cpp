// A modem's answer text: NormalizeModemReply and ModemReplyLine on any text
// and any buffer size, and the two together as SendModemCmd uses them on an
// answer of up to 127 bytes.
//
// Checked beyond "no crash": nothing is written outside the buffers (each is
// allocated at exactly the size passed); the normalised text is terminated,
// ends in CR, holds no LF and no two CRs in a row, and equals a plain
// re-implementation whenever it fits; the lines ModemReplyLine picks are the
// ones strtok with CR as delimiter gives.
#include "control/protocol/modem_reply.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "modem_reply_fuzzer: %s\n", what);
    std::abort();
}

// Every run of CR and LF as one CR, and a final CR.
std::string Normalized(const std::string& src) {
    std::string out;
    for (char c : src) {
        if (c == '\r' || c == '\n') {
            if (out.empty() || out.back() != '\r') out += '\r';
        } else {
            out += c;
        }
    }
    if (out.empty() || out.back() != '\r') out += '\r';
    return out;
}

std::vector<std::string> StrtokLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string copy = text;
    char* save = nullptr;
    for (char* t = strtok_r(copy.data(), "\r", &save); t != nullptr;
         t = strtok_r(nullptr, "\r", &save))
        lines.emplace_back(t);
    return lines;
}

void CheckNormalized(const std::string& src, std::size_t dstSize) {
    std::vector<char> dst(dstSize);
    NormalizeModemReply(src.c_str(), dst.data(), dstSize);
    const std::size_t n = strnlen(dst.data(), dstSize);
    if (n == dstSize) Fail("normalised text not terminated inside its buffer");
    const std::string got(dst.data(), n);
    if (got.empty() || got.back() != '\r') Fail("normalised text does not end in CR");
    if (got.find('\n') != std::string::npos) Fail("LF left in the normalised text");
    if (got.find("\r\r") != std::string::npos) Fail("two CRs in a row");
    const std::string want = Normalized(src);
    if (want.size() + 1 <= dstSize && got != want) Fail("normalised text differs though it fits");
    // Text that was cut keeps its beginning.
    if (got.size() > 1 && want.compare(0, got.size() - 1, got, 0, got.size() - 1) != 0)
        Fail("cut text is not the beginning of the whole");
}

void CheckLines(const std::string& text, int index, std::size_t outSize) {
    std::vector<char> out(outSize, 'x');
    const bool found = ModemReplyLine(text.c_str(), index, out.data(), outSize);
    const std::vector<std::string> lines = StrtokLines(text);
    const bool want = index >= 0 && static_cast<std::size_t>(index) < lines.size();
    if (found != want) Fail("line found where strtok finds none, or the reverse");
    if (!found) return;
    const std::string& line = lines[static_cast<std::size_t>(index)];
    const std::size_t keep = std::min(line.size(), outSize - 1);
    if (std::memcmp(out.data(), line.data(), keep) != 0 || out[keep] != '\0')
        Fail("wrong line text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::size_t dstSize = in.ConsumeIntegralInRange<std::size_t>(2, 300);
    const std::size_t outSize = in.ConsumeIntegralInRange<std::size_t>(1, 200);
    const int index = in.ConsumeIntegralInRange<int>(-1, 6);
    std::string text = in.ConsumeRemainingBytesAsString();
    text = text.substr(0, text.find('\0')); // C text ends at its first zero byte

    CheckNormalized(text, dstSize);
    CheckLines(text, index, outSize);

    // As SendModemCmd: an answer of at most 127 bytes, normalised into 130,
    // then the first line and, if it holds the echo, the second.
    const std::string answer = text.substr(0, 127);
    char normal[130];
    NormalizeModemReply(answer.c_str(), normal, sizeof normal);
    if (std::string(normal) != Normalized(answer)) Fail("a whole answer was cut");
    char line[128];
    for (int i = 0; i < 2; ++i)
        if (ModemReplyLine(normal, i, line, sizeof line) && std::strlen(line) >= sizeof line)
            Fail("line longer than its buffer");
    return 0;
}
