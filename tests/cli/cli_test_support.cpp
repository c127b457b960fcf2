#include "tests/cli/cli_test_support.h"

#include "cli/cli_run.h"
#include "control/automation/com_support.h"
#include "control/automation/control_object.h"
#include "control/automation/oleauto.h"
#include "control/link/palvex_ctrl.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace cli_test {
namespace {

struct PngSink {
    Bytes out;
};

void Append(png_structp png, png_bytep data, png_size_t n) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    sink->out.insert(sink->out.end(), data, data + n);
}

void Flush(png_structp) {}

// Runs under libpng's setjmp, so it owns nothing with a destructor.
bool WriteRows(png_structp png, png_infop info, const PngImage& image, png_bytepp rows,
               const png_color* palette, int paletteSize, PngSink* sink) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, sink, Append, Flush);
    png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colorType,
                 image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (paletteSize > 0) png_set_PLTE(png, info, palette, paletteSize);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

} // namespace

const palvex::cli::MethodTable& ControlMethods() {
    static const palvex::cli::MethodTable table = [] {
        palvex::ComPtr<IDispatch> control;
        if (FAILED(palvex::CreateControlObject(IID_IDispatch, control.PutVoid())))
            throw std::runtime_error("no control object");
        palvex::cli::MethodTable t;
        std::string error;
        if (!palvex::cli::ReadMethodTable(*control.Get(), SysFreeString, t, error))
            throw std::runtime_error("no method table: " + error);
        return t;
    }();
    return table;
}

Parsed ParseWords(const std::vector<std::string>& words, const palvex::cli::MethodTable& methods) {
    const std::vector<std::string_view> views(words.begin(), words.end());
    Parsed p;
    p.ok = palvex::cli::ParseCommandLine(views, methods, p.line, p.error);
    return p;
}

Parsed Parse(const std::string& text, const palvex::cli::MethodTable& methods) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string w; in >> w;)
        words.push_back(w);
    return ParseWords(words, methods);
}

VARIANT Bound(Parsed& p, std::size_t i, std::size_t call) {
    palvex::cli::ArgSlot& slot = p.line.calls.at(call).slots.at(i);
    VARIANT v;
    VariantInit(&v);
    slot.form.kind->bind(slot, v);
    return v;
}

const void* AddressIn(const VARIANT& v) {
    return reinterpret_cast<const void*>(
        static_cast<LONG_PTR>(VT_ADDR == VT_I8 ? v.llVal : v.lVal));
}

std::vector<std::string> RunLines(CPalvexCtrl& ctrl, const Parsed& parsed, int* status) {
    EXPECT_TRUE(parsed.ok) << parsed.error;
    palvex::cli::CommandLine line = parsed.line;
    std::vector<std::string> lines;
    *status = 0;
    // The calls go through the control's dispatch interface, as palvex
    // makes them on the module's control.
    palvex::ComPtr<IDispatch> control;
    EXPECT_EQ(palvex::CreateControlObjectOver(ctrl, IID_IDispatch, control.PutVoid()), S_OK);
    std::string error;
    EXPECT_TRUE(palvex::cli::ResolveIds(*control.Get(), line.calls, error)) << error;
    for (palvex::cli::Call& call : line.calls) {
        const palvex::cli::CallOutcome o = palvex::cli::RunCall(*control.Get(), call);
        EXPECT_EQ(o.hr, S_OK);
        lines.push_back(o.line);
        if (o.returnedFalse) *status = 1;
    }
    return lines;
}

std::vector<std::string> RunLines(CPalvexCtrl& ctrl, const std::string& text, int* status) {
    return RunLines(ctrl, Parse(text), status);
}

Bytes FramePayload(const std::string& line) {
    std::istringstream in(line);
    std::string name, result, count, hex;
    in >> name >> result >> count >> hex;
    Bytes frame;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        frame.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    if (frame.size() < 11) return {};
    const std::size_t n = (std::size_t{frame[7]} << 8) | frame[8];
    if (9 + n > frame.size()) return {};
    return Bytes(frame.begin() + 9, frame.begin() + 9 + static_cast<std::ptrdiff_t>(n));
}

std::string Hex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (std::uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

TempDir::TempDir() {
    std::string pattern = "/tmp/palvex_cli_test_XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::Write(const std::string& name, const Bytes& content) const {
    const std::string path = m_path + "/" + name;
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
    return path;
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
    return Write(name, Bytes(content.begin(), content.end()));
}

Bytes EncodePng(const PngImage& image) {
    std::vector<png_bytep> rows;
    for (const Bytes& r : image.rows)
        rows.push_back(const_cast<png_bytep>(r.data()));
    std::vector<png_color> palette;
    for (std::size_t i = 0; i + 2 < image.palette.size(); i += 3)
        palette.push_back(png_color{image.palette[i], image.palette[i + 1], image.palette[i + 2]});

    PngSink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool ok = info != nullptr && WriteRows(png, info, image, rows.data(), palette.data(),
                                                 static_cast<int>(palette.size()), &sink);
    png_destroy_write_struct(&png, &info);
    return ok ? sink.out : Bytes{};
}

} // namespace cli_test
