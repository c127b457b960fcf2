#include "png_reader.h"

#include <png.h>

namespace simtest {

std::optional<cardsim::RgbImage> ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
    image.format = PNG_FORMAT_RGB;
    cardsim::RgbImage out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return out;
}

int LedCode(const cardsim::RgbImage& image, int column, int row) {
    const int x = column * cardsim::kSnapshotCell + 3;
    const int y = row * cardsim::kSnapshotCell + 3;
    const std::uint8_t* p = &image.rgb[(static_cast<std::size_t>(y) * image.width + x) * 3];
    int code = 0;
    for (int c = 0; c < 3; ++c)
        if (p[c] >= 128) code |= 1 << c;
    return code == 0 ? -1 : code;
}

} // namespace simtest
