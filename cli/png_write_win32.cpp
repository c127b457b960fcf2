// PNG files through the Windows Imaging Component: the pixels are encoded
// into memory, then written to the file (the screen by way of a temporary
// file beside it, as on Linux).
#include "cli/png_write.h"

#include "cli/wic_win32.h"
#include "control/host/com_control_win32.h"
#include "platform/os/text_win32.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace palvex::cli {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Holds a global memory block locked for as long as it lives.
class CLockedMemory {
  public:
    explicit CLockedMemory(HGLOBAL memory) : m_memory(memory), m_bytes(GlobalLock(memory)) {}
    ~CLockedMemory() {
        if (m_bytes != nullptr) GlobalUnlock(m_memory);
    }
    CLockedMemory(const CLockedMemory&) = delete;
    CLockedMemory& operator=(const CLockedMemory&) = delete;
    const void* Bytes() const { return m_bytes; }

  private:
    HGLOBAL m_memory;
    void* m_bytes;
};

// Encodes width x height pixels of `format` (rows `stride` bytes apart) as a
// PNG file's bytes.
bool Encode(const std::uint8_t* pixels, UINT width, UINT height, UINT stride,
            const WICPixelFormatGUID& format, std::vector<std::uint8_t>& png, std::string& why) {
    const host::CApartment com;
    const ComPtr<IWICImagingFactory> factory = ImagingFactory(why);
    if (!factory) return false;
    ComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
    ComPtr<IWICBitmapEncoder> encoder;
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put());
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.Put(), options.Put());
    if (SUCCEEDED(hr)) hr = frame->Initialize(options.Get());
    if (SUCCEEDED(hr)) hr = frame->SetSize(width, height);
    WICPixelFormatGUID given = format;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&given);
    if (SUCCEEDED(hr) && !SameGuid(given, format)) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    if (SUCCEEDED(hr))
        hr = frame->WritePixels(height, stride, stride * height, const_cast<BYTE*>(pixels));
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    STATSTG stat{};
    if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream.Get(), &memory);
    if (FAILED(hr)) {
        why = CodecFailure("the PNG encoder failed", hr);
        return false;
    }
    const CLockedMemory locked(memory);
    const auto* bytes = static_cast<const std::uint8_t*>(locked.Bytes());
    if (bytes == nullptr) {
        why = "the PNG encoder's memory cannot be read";
        return false;
    }
    png.assign(bytes, bytes + stat.cbSize.QuadPart);
    return true;
}

// Writes `bytes` to `path`; false with the C runtime's reason.
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                    std::string& why) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(_wfopen(os::WideOf(path).c_str(), L"wb"));
    bool ok = file && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    ok = file && std::fclose(file.release()) == 0 && ok;
    if (!ok) why = std::strerror(errno != 0 ? errno : EIO);
    return ok;
}

} // namespace

bool WriteRgbaPng(const std::string& path, const std::vector<std::uint8_t>& rgba, unsigned width,
                  unsigned height, std::string& error) {
    if (rgba.size() != std::size_t{width} * height * 4) {
        error = "the picture does not fill " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels";
        return false;
    }
    std::vector<std::uint8_t> bgra(rgba);
    for (std::size_t i = 0; i < bgra.size(); i += 4)
        std::swap(bgra[i], bgra[i + 2]);
    std::vector<std::uint8_t> png;
    std::string why;
    if (!Encode(bgra.data(), width, height, width * 4, GUID_WICPixelFormat32bppBGRA, png, why) ||
        !WriteFileBytes(path, png, why)) {
        error = "cannot write \"" + path + "\": " + why;
        return false;
    }
    return true;
}

bool WriteScreenPng(const std::string& path, const cardsim::RgbImage& image, std::string& error) {
    if (image.width <= 0 || image.height <= 0) {
        error = "the screen has no pixels";
        return false;
    }
    const auto width = static_cast<UINT>(image.width);
    const auto height = static_cast<UINT>(image.height);
    // Rows of BGR, each padded to whole 32-bit words as the encoder reads them.
    const UINT stride = (width * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> bgr(std::size_t{stride} * height);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[std::size_t{y} * stride + x * 3 + c] =
                    image.rgb[(std::size_t{y} * width + x) * 3 + 2 - c];
    std::vector<std::uint8_t> png;
    std::string why;
    if (!Encode(bgr.data(), width, height, stride, GUID_WICPixelFormat24bppBGR, png, why)) {
        error = "cannot encode " + path + ": " + why;
        return false;
    }
    const std::string temp = path + ".tmp";
    if (!WriteFileBytes(temp, png, why)) {
        error = "cannot write " + temp + ": " + why;
        _wremove(os::WideOf(temp).c_str());
        return false;
    }
    if (!MoveFileExW(os::WideOf(temp).c_str(), os::WideOf(path).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        error = "cannot rename to " + path + ": the system refused (error " +
                std::to_string(GetLastError()) + ")";
        _wremove(os::WideOf(temp).c_str());
        return false;
    }
    return true;
}

} // namespace palvex::cli
