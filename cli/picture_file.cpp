#include "cli/picture_file.h"

#include "cli/picture_png.h"

#include "control/palvex_facts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace palvex::cli {
namespace {

static_assert(kPictureBytes == static_cast<std::size_t>(card::kPictureBufferSize));

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string Quoted(const std::string& s) {
    return "\"" + s + "\"";
}

// ---------------------------------------------------------------------------
// Pixel codes.

// ---------------------------------------------------------------------------
// PGM ("P5" binary, "P2" plain), after the magic number.

// The file's bytes, starting with those already read to recognise it.
class ByteSource {
  public:
    ByteSource(std::FILE* f, const std::uint8_t* head, std::size_t n)
        : m_file(f), m_head(head, head + n) {}

    int Get() {
        if (m_unget >= 0) return std::exchange(m_unget, -1);
        if (m_next < m_head.size()) return m_head[m_next++];
        return std::getc(m_file);
    }
    void Unget(int c) { m_unget = c; }
    // Reads up to n bytes; returns how many.
    std::size_t Read(std::uint8_t* out, std::size_t n) {
        std::size_t done = 0;
        if (n > 0 && m_unget >= 0)
            out[done++] = static_cast<std::uint8_t>(std::exchange(m_unget, -1));
        while (done < n && m_next < m_head.size())
            out[done++] = m_head[m_next++];
        return done + std::fread(out + done, 1, n - done, m_file);
    }

  private:
    std::FILE* m_file;
    std::vector<std::uint8_t> m_head;
    std::size_t m_next = 0;
    int m_unget = -1;
};

bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads one decimal number of at most `maxValue`, after blanks and (in the
// header) '#' comments. The character that ends it is consumed, except a
// comment's '#', and returned in `terminator` (EOF at the end of the file).
bool ReadPgmNumber(ByteSource& in, bool comments, unsigned long maxValue, unsigned long& value,
                   int& terminator, std::string& why) {
    int c = in.Get();
    for (;;) {
        if (comments && c == '#') {
            while (c != '\n' && c != EOF)
                c = in.Get();
        } else if (IsBlank(c)) {
            c = in.Get();
        } else {
            break;
        }
    }
    if (c == EOF) {
        why = "it ends early";
        return false;
    }
    if (c < '0' || c > '9') {
        why = "a byte that is not a digit where a number belongs";
        return false;
    }
    value = 0;
    for (; c >= '0' && c <= '9'; c = in.Get()) {
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > maxValue) {
            why = "a number exceeds " + std::to_string(maxValue);
            return false;
        }
    }
    if (c != EOF && !IsBlank(c) && !(comments && c == '#')) {
        why = "a byte that is not a digit inside a number";
        return false;
    }
    if (c == '#') in.Unget(c);
    terminator = c;
    return true;
}

bool ReadPgm(ByteSource& in, bool binary, std::uint8_t* picture, std::string& why) {
    unsigned long width = 0;
    unsigned long height = 0;
    unsigned long maxValue = 0;
    int end = 0;
    if (!ReadPgmNumber(in, true, 0xFFFFFFFFul, width, end, why) ||
        !ReadPgmNumber(in, true, 0xFFFFFFFFul, height, end, why) ||
        !ReadPgmNumber(in, true, 65535, maxValue, end, why))
        return false;
    if (width == 0 || height == 0 || maxValue == 0) {
        why = "its width, height and maximum value must be at least 1";
        return false;
    }
    if (width > kMaxImageWidth) {
        why = "it is wider than " + std::to_string(kMaxImageWidth) + " pixels";
        return false;
    }
    // Binary samples start right after the one blank that ends the maximum.
    if (binary && !IsBlank(end)) {
        why = "no blank before its pixel data";
        return false;
    }

    const std::size_t rows = std::min<std::size_t>(height, kPictureRows);
    const std::size_t columns = std::min<std::size_t>(width, kPictureColumns);
    const std::size_t sampleBytes = maxValue > 255 ? 2 : 1;
    std::vector<std::uint8_t> row(binary ? width * sampleBytes : 0);
    for (std::size_t y = 0; y < rows; ++y) {
        if (binary && in.Read(row.data(), row.size()) != row.size()) {
            why = "it ends before its pixel data does";
            return false;
        }
        for (std::size_t x = 0; x < width; ++x) {
            unsigned long sample = 0;
            if (binary) {
                sample = sampleBytes == 1 ? row[x] : (row[2 * x] << 8) | row[2 * x + 1];
            } else if (!ReadPgmNumber(in, false, 0xFFFFFFFFul, sample, end, why)) {
                if (why == "it ends early") why = "it ends before its pixel data does";
                return false;
            }
            if (sample > maxValue) {
                why = "a sample exceeds its maximum value " + std::to_string(maxValue);
                return false;
            }
            if (x < columns) {
                const unsigned s[1] = {static_cast<unsigned>(sample)};
                picture[y * kPictureColumns + x] = PixelCode(
                    s, false, static_cast<unsigned>(maxValue), static_cast<unsigned>(maxValue));
            }
        }
    }
    return true;
}

} // namespace

namespace {

// A sample counts as on when it is at least half the maximum.
bool AtLeastHalf(std::uint64_t value, std::uint64_t maxValue) {
    return 2 * value >= maxValue;
}

} // namespace

// The code of one pixel. `samples` holds one grey or three RGB values, each
// 0..maxValue; `alpha` is the opacity 0..maxValue (maxValue when opaque), by
// which every sample is scaled before the comparison.
std::uint8_t PixelCode(const unsigned* samples, bool colour, unsigned alpha, unsigned maxValue) {
    const std::uint64_t full = std::uint64_t{maxValue} * maxValue;
    auto on = [&](unsigned s) { return AtLeastHalf(std::uint64_t{s} * alpha, full); };
    if (!colour) return on(samples[0]) ? 1 : 0;
    return static_cast<std::uint8_t>((on(samples[0]) ? 1 : 0) | (on(samples[1]) ? 2 : 0) |
                                     (on(samples[2]) ? 4 : 0));
}

bool LoadPictureFile(const std::string& path, std::vector<std::uint8_t>& picture,
                     std::string& error) {
    picture.assign(kPictureBytes, 0);
    errno = 0;
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = "cannot open " + Quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    auto readError = [&] {
        error = "cannot read " + Quoted(path) + ": " + std::strerror(errno);
        return false;
    };
    // The first bytes say what the file is. Nothing is read twice, so pipes
    // (SendPicture 0 0 <(command)) work as well as files.
    std::uint8_t head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file.get());
    if (std::ferror(file.get())) return readError();

    static const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::string why;
    if (got == 8 && std::memcmp(head, kPngSignature, 8) == 0) {
        if (!ReadPng(file.get(), picture.data(), why)) {
            if (std::ferror(file.get())) return readError();
            error = Quoted(path) + " is not a readable PNG image: " + why;
            return false;
        }
        return true;
    }
    if (got >= 3 && head[0] == 'P' && (head[1] == '5' || head[1] == '2') && IsBlank(head[2])) {
        ByteSource in(file.get(), head + 2, got - 2);
        if (!ReadPgm(in, head[1] == '5', picture.data(), why)) {
            if (std::ferror(file.get())) return readError();
            picture.assign(kPictureBytes, 0);
            error = Quoted(path) + " is not a readable PGM image: " + why;
            return false;
        }
        return true;
    }

    // Pixel codes as they are: exactly one picture's worth, checked by
    // trying to read one byte more.
    std::copy(head, head + got, picture.begin());
    std::size_t total = got;
    std::uint8_t extra = 0;
    if (got == sizeof head) {
        total += std::fread(picture.data() + got, 1, kPictureBytes - got, file.get());
        total += std::fread(&extra, 1, 1, file.get());
    }
    if (std::ferror(file.get())) return readError();
    if (total != kPictureBytes) {
        picture.assign(kPictureBytes, 0);
        error = Quoted(path) + " is not a picture: it has " +
                (total > kPictureBytes ? "more than " + std::to_string(kPictureBytes)
                                       : std::to_string(total)) +
                " bytes; a picture file is a PNG or PGM image or exactly " +
                std::to_string(kPictureBytes) + " bytes of pixel codes";
        return false;
    }
    return true;
}

} // namespace palvex::cli
