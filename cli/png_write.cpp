#include "cli/png_write.h"

#include "sim/png_writer.h"

#include <png.h>

namespace palvex::cli {

bool WriteRgbaPng(const std::string& path, const std::vector<std::uint8_t>& rgba, unsigned width,
                  unsigned height, std::string& error) {
    if (rgba.size() != std::size_t{width} * height * 4) {
        error = "the picture does not fill " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels";
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr) == 0) {
        error = "cannot write \"" + path + "\": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

bool WriteScreenPng(const std::string& path, const cardsim::RgbImage& image, std::string& error) {
    if (cardsim::WritePng(path, image, error)) return true;
    // The writer names itself after cardsim's snapshot.
    if (error.starts_with("snapshot: ")) error.erase(0, 10);
    return false;
}

} // namespace palvex::cli
