// PNG picture files, decoded with the Windows Imaging Component, to the same
// pixel codes as libpng gives on Linux (picture_png.cpp): the samples as
// 8-bit values (a palette's colours, grey below 8 bits scaled up, 16-bit
// samples by their high byte), a transparent colour or palette entry as the
// pixel's opacity, and grey or colour as the file's header says. The pixels
// are read in the decoder's own format and converted here, so that no
// converter of the system's (with its own gamma or rounding) comes between.
#include "cli/picture_png.h"

#include "cli/picture_file.h"
#include "cli/wic_win32.h"
#include "control/host/com_control_win32.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace palvex::cli {
namespace {

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// What the file's own chunks say, which the decoder does not tell: grey or
// colour, and the transparent colour of a grey or RGB image.
struct SPngHeader {
    std::uint32_t width = 0;
    unsigned depth = 8;
    unsigned colourType = 0;
    bool hasKey = false;
    std::array<unsigned, 3> key{}; // the transparent sample values, at the file's depth
};

// The chunks before the image data: IHDR first, a tRNS of a grey or RGB
// image. False with the reason when the header is missing.
bool ReadHeader(const std::vector<std::uint8_t>& file, SPngHeader& h, std::string& why) {
    std::size_t at = 8;
    bool haveHeader = false;
    while (at + 8 <= file.size()) {
        const std::uint32_t length = BigEndian32(&file[at]);
        const char* type = reinterpret_cast<const char*>(file.data() + at + 4);
        const std::uint8_t* data = file.data() + at + 8;
        if (length > file.size() - at - 8) break;
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 13) {
            h.width = BigEndian32(data);
            h.depth = data[8];
            h.colourType = data[9];
            haveHeader = true;
        } else if (!haveHeader || std::memcmp(type, "IDAT", 4) == 0) {
            break;
        } else if (std::memcmp(type, "tRNS", 4) == 0) {
            const unsigned samples = h.colourType == 0 ? 1 : h.colourType == 2 ? 3 : 0;
            if (samples > 0 && length >= 2 * samples) {
                h.hasKey = true;
                for (unsigned i = 0; i < samples; ++i)
                    h.key[i] = unsigned{data[2 * i]} << 8 | data[2 * i + 1];
            }
        }
        at += 12 + std::size_t{length};
    }
    if (!haveHeader)
        why = "IHDR: the image header is missing";
    else if (h.width > kMaxImageWidth)
        why = "Image width exceeds user limit in IHDR";
    return haveHeader && h.width <= kMaxImageWidth;
}

// One pixel as libpng's expansion leaves it: 8-bit samples and opacity,
// plus the samples at the file's depth for the transparent colour.
struct SPixel {
    unsigned s[3] = {0, 0, 0};
    unsigned alpha = 255;
    unsigned native[3] = {0, 0, 0};
};

enum class Layout { Packed, Grey8, Grey16, Bgr24, Rgb24, Bgrx32, Bgra32, Rgba32, Rgb48, Rgba64 };

struct SFormat {
    const GUID* guid;
    Layout layout;
    unsigned bits; // per pixel
    bool indexed;  // packed: palette indices rather than grey levels
};

const SFormat kFormats[] = {
    {&GUID_WICPixelFormatBlackWhite, Layout::Packed, 1, false},
    {&GUID_WICPixelFormat2bppGray, Layout::Packed, 2, false},
    {&GUID_WICPixelFormat4bppGray, Layout::Packed, 4, false},
    {&GUID_WICPixelFormat1bppIndexed, Layout::Packed, 1, true},
    {&GUID_WICPixelFormat2bppIndexed, Layout::Packed, 2, true},
    {&GUID_WICPixelFormat4bppIndexed, Layout::Packed, 4, true},
    {&GUID_WICPixelFormat8bppIndexed, Layout::Packed, 8, true},
    {&GUID_WICPixelFormat8bppGray, Layout::Grey8, 8, false},
    {&GUID_WICPixelFormat16bppGray, Layout::Grey16, 16, false},
    {&GUID_WICPixelFormat24bppBGR, Layout::Bgr24, 24, false},
    {&GUID_WICPixelFormat24bppRGB, Layout::Rgb24, 24, false},
    {&GUID_WICPixelFormat32bppBGR, Layout::Bgrx32, 32, false},
    {&GUID_WICPixelFormat32bppBGRA, Layout::Bgra32, 32, false},
    {&GUID_WICPixelFormat32bppRGBA, Layout::Rgba32, 32, false},
    {&GUID_WICPixelFormat48bppRGB, Layout::Rgb48, 48, false},
    {&GUID_WICPixelFormat64bppRGBA, Layout::Rgba64, 64, false},
};

// The formats that carry opacity of their own.
bool HasAlpha(Layout l) {
    return l == Layout::Bgra32 || l == Layout::Rgba32 || l == Layout::Rgba64;
}

unsigned Little16(const std::uint8_t* p) {
    return unsigned{p[0]} | unsigned{p[1]} << 8;
}

// Pixel x of a row in the decoder's format.
SPixel PixelAt(const std::uint8_t* row, std::size_t x, const SFormat& f,
               const std::vector<WICColor>& palette) {
    SPixel px;
    const auto set8 = [&](unsigned r, unsigned g, unsigned b) {
        px.s[0] = px.native[0] = r;
        px.s[1] = px.native[1] = g;
        px.s[2] = px.native[2] = b;
    };
    const auto set16 = [&](unsigned r, unsigned g, unsigned b) {
        px.native[0] = r, px.native[1] = g, px.native[2] = b;
        px.s[0] = r >> 8, px.s[1] = g >> 8, px.s[2] = b >> 8;
    };
    switch (f.layout) {
    case Layout::Packed: {
        const std::size_t bit = x * f.bits;
        const unsigned mask = (1u << f.bits) - 1;
        const unsigned v = (row[bit / 8] >> (8 - f.bits - bit % 8)) & mask;
        if (!f.indexed) {
            const unsigned grey = v * 255 / mask;
            set8(grey, grey, grey);
            px.native[0] = v;
        } else {
            // An index past the palette reads black, as libpng's does.
            const WICColor c = v < palette.size() ? palette[v] : 0xFF000000u;
            set8(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
            px.alpha = c >> 24;
            px.native[0] = v;
        }
        break;
    }
    case Layout::Grey8:
        set8(row[x], row[x], row[x]);
        break;
    case Layout::Grey16: {
        const unsigned v = Little16(row + 2 * x);
        set16(v, v, v);
        break;
    }
    case Layout::Bgr24:
        set8(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        break;
    case Layout::Rgb24:
        set8(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
        break;
    case Layout::Bgrx32:
    case Layout::Bgra32:
        set8(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        if (f.layout == Layout::Bgra32) px.alpha = row[4 * x + 3];
        break;
    case Layout::Rgba32:
        set8(row[4 * x], row[4 * x + 1], row[4 * x + 2]);
        px.alpha = row[4 * x + 3];
        break;
    case Layout::Rgb48:
        set16(Little16(row + 6 * x), Little16(row + 6 * x + 2), Little16(row + 6 * x + 4));
        break;
    case Layout::Rgba64:
        set16(Little16(row + 8 * x), Little16(row + 8 * x + 2), Little16(row + 8 * x + 4));
        px.alpha = Little16(row + 8 * x + 6) >> 8;
        break;
    }
    return px;
}

// The file after its signature, with the signature put back in front.
bool ReadRest(std::FILE* file, std::vector<std::uint8_t>& bytes) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    bytes.assign(kSignature, kSignature + 8);
    std::uint8_t chunk[65536];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (got < sizeof chunk) return std::ferror(file) == 0;
    }
}

class CPngDecode {
  public:
    bool Run(std::FILE* file, std::uint8_t* picture, std::string& why);

  private:
    bool Fail(const char* what, HRESULT hr, std::string& why) {
        why = CodecFailure(what, hr);
        return false;
    }
    bool Palette(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame, std::string& why);

    std::vector<WICColor> m_palette;
};

bool CPngDecode::Palette(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame,
                         std::string& why) {
    ComPtr<IWICPalette> palette;
    HRESULT hr = factory.CreatePalette(palette.Put());
    if (SUCCEEDED(hr)) hr = frame.CopyPalette(palette.Get());
    UINT count = 0;
    if (SUCCEEDED(hr)) hr = palette->GetColorCount(&count);
    m_palette.assign(count, 0);
    if (SUCCEEDED(hr) && count > 0) hr = palette->GetColors(count, m_palette.data(), &count);
    return SUCCEEDED(hr) || Fail("its palette cannot be read", hr, why);
}

bool CPngDecode::Run(std::FILE* file, std::uint8_t* picture, std::string& why) {
    std::vector<std::uint8_t> bytes;
    if (!ReadRest(file, bytes)) {
        why = "Read Error";
        return false;
    }
    SPngHeader header;
    if (!ReadHeader(bytes, header, why)) return false;

    const host::CApartment com;
    const ComPtr<IWICImagingFactory> factory = ImagingFactory(why);
    if (!factory) return false;
    ComPtr<IWICStream> stream;
    HRESULT hr = factory->CreateStream(stream.Put());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()));
    if (FAILED(hr)) return Fail("the image cannot be read from memory", hr, why);
    ComPtr<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                          decoder.Put());
    if (FAILED(hr)) return Fail("the image cannot be decoded", hr, why);
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    hr = decoder->GetFrame(0, frame.Put());
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (SUCCEEDED(hr)) hr = frame->GetPixelFormat(&format);
    if (FAILED(hr)) return Fail("the image cannot be decoded", hr, why);

    const SFormat* known = nullptr;
    for (const SFormat& f : kFormats)
        if (SameGuid(*f.guid, format)) known = &f;
    // Any other format the decoder might give is converted by the system.
    static const SFormat kConverted{&GUID_WICPixelFormat32bppBGRA, Layout::Bgra32, 32, false};
    ComPtr<IWICBitmapSource> source = frame.Query<IWICBitmapSource>(IID_IWICBitmapSource);
    if (known == nullptr) {
        ComPtr<IWICBitmapSource> converted;
        hr = WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, source.Get(), converted.Put());
        if (FAILED(hr)) return Fail("its pixel format cannot be converted", hr, why);
        source = converted;
        known = &kConverted;
    }
    if (known->indexed && !Palette(*factory.Get(), *frame.Get(), why)) return false;

    const UINT columns = std::min<UINT>(width, kPictureColumns);
    const UINT rows = std::min<UINT>(height, kPictureRows);
    if (columns == 0 || rows == 0) return true;
    const UINT stride = (columns * known->bits + 31) / 32 * 4;
    std::vector<std::uint8_t> pixels(std::size_t{stride} * rows);
    const WICRect rect{0, 0, static_cast<INT>(columns), static_cast<INT>(rows)};
    hr = source->CopyPixels(&rect, stride, static_cast<UINT>(pixels.size()), pixels.data());
    if (FAILED(hr)) return Fail("the image data cannot be decoded", hr, why);

    const bool colour = (header.colourType & 2) != 0;
    // A grey or RGB image's transparent colour, where the decoder's format
    // has no opacity of its own to carry it.
    const bool keyed = header.hasKey && !HasAlpha(known->layout) && !known->indexed;
    const unsigned keySamples = colour ? 3 : 1;
    for (UINT y = 0; y < rows; ++y) {
        const std::uint8_t* row = pixels.data() + std::size_t{y} * stride;
        for (UINT x = 0; x < columns; ++x) {
            SPixel px = PixelAt(row, x, *known, m_palette);
            if (keyed && std::equal(px.native, px.native + keySamples, header.key.begin()))
                px.alpha = 0;
            picture[std::size_t{y} * kPictureColumns + x] = PixelCode(px.s, colour, px.alpha, 255);
        }
    }
    return true;
}

} // namespace

bool ReadPng(std::FILE* file, std::uint8_t* picture, std::string& why) {
    return CPngDecode().Run(file, picture, why);
}

} // namespace palvex::cli
