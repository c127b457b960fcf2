// PNG picture files, decoded with libpng.
#include "cli/picture_png.h"

#include "cli/picture_file.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>

namespace palvex::cli {
namespace {

// ---------------------------------------------------------------------------
// PNG, through libpng's row interface: only the rows that land in the
// picture are decoded into memory.

// Everything the decoder shares with its caller. libpng reports errors by
// long jump, so this holds no object with a destructor and the caller frees
// what it points at, whether or not decoding finished.
struct PngJob {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::uint8_t* picture = nullptr; // kPictureBytes, zero-filled
    png_bytep rows = nullptr;        // kept rows, then one scratch row (malloc)
    char message[200] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Decodes the image after its 8 signature bytes. No local here has a
// destructor: a long jump from libpng lands on the setjmp below.
bool DecodePng(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_structp png = job.png;
    png_infop info = job.info;
    png_init_io(png, job.file);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, kMaxImageWidth, png_get_user_height_max(png));
    png_read_info(png, info);

    // Palette to RGB, grey below 8 bits to 8 bits, a transparent colour to
    // an alpha channel; 16-bit samples to 8 bits.
    png_set_expand(png);
    png_set_strip_16(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const unsigned channels = png_get_channels(png, info);
    const bool colour = (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) != 0;
    const bool hasAlpha = channels == 2 || channels == 4;
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    const std::size_t kept = std::min<std::size_t>(height, kPictureRows);

    job.rows = static_cast<png_bytep>(std::calloc(kept + 1, rowBytes));
    if (job.rows == nullptr) {
        std::snprintf(job.message, sizeof job.message, "not enough memory for its rows");
        return false;
    }
    png_bytep scratch = job.rows + kept * rowBytes;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            // Without interlacing the rows below the picture are not needed.
            if (passes == 1 && y >= kept) break;
            png_read_row(png, y < kept ? job.rows + y * rowBytes : scratch, nullptr);
        }
    }

    const std::size_t columns = std::min<std::size_t>(width, kPictureColumns);
    for (std::size_t y = 0; y < kept; ++y) {
        const png_byte* p = job.rows + y * rowBytes;
        for (std::size_t x = 0; x < columns; ++x, p += channels) {
            const unsigned samples[3] = {p[0], colour ? p[1] : 0u, colour ? p[2] : 0u};
            const unsigned alpha = hasAlpha ? p[channels - 1] : 255u;
            job.picture[y * kPictureColumns + x] = PixelCode(samples, colour, alpha, 255);
        }
    }
    return true;
}

} // namespace

bool ReadPng(std::FILE* file, std::uint8_t* picture, std::string& why) {
    PngJob job;
    job.file = file;
    job.picture = picture;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnPngError, OnPngWarning);
    if (job.png != nullptr) job.info = png_create_info_struct(job.png);
    bool ok = false;
    if (job.info == nullptr)
        std::snprintf(job.message, sizeof job.message, "the PNG library could not start");
    else
        ok = DecodePng(job);
    png_destroy_read_struct(job.png != nullptr ? &job.png : nullptr,
                            job.info != nullptr ? &job.info : nullptr, nullptr);
    std::free(job.rows);
    if (!ok) why = job.message;
    return ok;
}

} // namespace palvex::cli
