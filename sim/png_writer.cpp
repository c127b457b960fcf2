#include "sim/png_writer.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <png.h>
#include <unistd.h>

namespace cardsim {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Owns libpng's write and info structures.
class CPngWrite {
  public:
    CPngWrite() : m_png(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr)) {
        if (m_png) m_info = png_create_info_struct(m_png);
    }
    ~CPngWrite() { png_destroy_write_struct(&m_png, m_info ? &m_info : nullptr); }
    CPngWrite(const CPngWrite&) = delete;
    CPngWrite& operator=(const CPngWrite&) = delete;
    bool Ok() const { return m_png && m_info; }
    png_structp Png() const { return m_png; }
    png_infop Info() const { return m_info; }

  private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

// Kept apart from WritePng so that nothing with a destructor lives in the
// frame that longjmp leaves.
bool Encode(CPngWrite& w, std::FILE* file, const RgbImage& image) {
    if (setjmp(png_jmpbuf(w.Png()))) return false;
    png_init_io(w.Png(), file);
    // The dark board compresses well even at the fastest level, and a
    // snapshot is written after every change the screen shows.
    png_set_compression_level(w.Png(), 1);
    png_set_filter(w.Png(), 0, PNG_FILTER_UP);
    png_set_IHDR(w.Png(), w.Info(), static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(w.Png(), w.Info());
    for (int y = 0; y < image.height; ++y)
        png_write_row(w.Png(), image.rgb.data() + static_cast<std::size_t>(y) * image.width * 3);
    png_write_end(w.Png(), nullptr);
    return true;
}

} // namespace

bool WritePng(const std::string& path, const RgbImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "snapshot: the screen has no pixels";
        return false;
    }
    const std::string temp = path + ".tmp";
    bool ok = false;
    {
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(temp.c_str(), "wb"));
        if (!file) {
            error = "snapshot: cannot write " + temp + ": " + std::strerror(errno);
            return false;
        }
        CPngWrite w;
        ok = w.Ok() && Encode(w, file.get(), image);
        ok = std::fflush(file.get()) == 0 && ok;
    }
    if (!ok) {
        error = "snapshot: cannot encode " + path;
        ::unlink(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "snapshot: cannot rename to " + path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace cardsim
