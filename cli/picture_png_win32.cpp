// The Windows build has no PNG library: PNG picture files are refused with
// the reason, PGM images and raw pixel codes are read as everywhere.
#include "cli/picture_png.h"

namespace palvex::cli {

bool ReadPng(std::FILE*, std::uint8_t*, std::string& why) {
    why = "PNG images are not available on Windows (palvex's Windows build has no PNG "
          "library); give the picture as a PGM image or as 65536 bytes of pixel codes";
    return false;
}

} // namespace palvex::cli
