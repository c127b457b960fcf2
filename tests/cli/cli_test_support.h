// Helpers for the command-line tests: the method table read from a control's
// type information, parsing and running lines in-process, a scratch
// directory for argument files, and PNG images written from pixel values.
#pragma once

#include "cli/cli_args.h"

#include <cstdint>
#include <string>
#include <vector>

class CPalvexCtrl;

namespace cli_test {

using Bytes = std::vector<std::uint8_t>;

struct Parsed {
    bool ok = false;
    palvex::cli::CommandLine line;
    std::string error;
};

// The methods as palvex reads them: from the type information of a control
// made in this process (the same control code the module is built from).
// Read once; lives as long as the test program.
const palvex::cli::MethodTable& ControlMethods();

// ParseCommandLine keeps nothing that points into the words, so they need to
// live only as long as the parse. The calls point into `methods`.
Parsed ParseWords(const std::vector<std::string>& words,
                  const palvex::cli::MethodTable& methods = ControlMethods());
// The same with the words split at blanks.
Parsed Parse(const std::string& text, const palvex::cli::MethodTable& methods = ControlMethods());

// The VARIANT the host would pass for parameter `i` of call `call`.
VARIANT Bound(Parsed& p, std::size_t i, std::size_t call = 0);

// The address a VT_ADDR argument carries.
const void* AddressIn(const VARIANT& v);

// Runs every call of a line that must parse on `ctrl` and returns the output
// lines; *status becomes 1 when a call returned false, else 0.
std::vector<std::string> RunLines(CPalvexCtrl& ctrl, const Parsed& parsed, int* status);
std::vector<std::string> RunLines(CPalvexCtrl& ctrl, const std::string& text, int* status);

// The payload of the frame a "GetSendString true N HEX" line shows.
Bytes FramePayload(const std::string& getSendStringLine);

// Upper-case hex of the bytes, without separators.
std::string Hex(const Bytes& bytes);

// A directory under /tmp, removed with its files when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes `content` to a file called `name` in the directory; returns its path.
    std::string Write(const std::string& name, const Bytes& content) const;
    std::string Write(const std::string& name, const std::string& content) const;
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

// A PNG image to write: `rows` hold the samples as libpng stores them
// (channels interleaved, 16-bit samples big-endian, low bit depths packed).
struct PngImage {
    unsigned width = 0;
    unsigned height = 0;
    int colorType = 0; // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<std::uint8_t> palette; // RGB triples for PNG_COLOR_TYPE_PALETTE
    std::vector<Bytes> rows;
};

// The encoded file; empty when libpng refused the image.
Bytes EncodePng(const PngImage& image);

// An 8-bit image of `width` x `height` pixels with `channels` samples each,
// every sample given by sample(x, y, channel).
template <class F>
PngImage MakePng(unsigned width, unsigned height, int colorType, unsigned channels, F sample) {
    PngImage image;
    image.width = width;
    image.height = height;
    image.colorType = colorType;
    for (unsigned y = 0; y < height; ++y) {
        Bytes row;
        for (unsigned x = 0; x < width; ++x)
            for (unsigned c = 0; c < channels; ++c)
                row.push_back(static_cast<std::uint8_t>(sample(x, y, c)));
        image.rows.push_back(std::move(row));
    }
    return image;
}

} // namespace cli_test
