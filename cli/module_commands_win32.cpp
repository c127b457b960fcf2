#include "cli/module_commands_win32.h"

#include "control/host/com_control_win32.h"
#include "control/host/hosted_control.h"

#include <vector>

namespace palvex::cli {
namespace {

void Report(std::FILE* err, const std::string& text) {
    std::fprintf(err, "palvex: %s\n", text.c_str());
}

void ReportModule(std::FILE* err, const std::string& path, const char* source) {
    std::fprintf(err, "palvex: control module %s (%s)\n", path.c_str(), source);
}

// A memory device context over a top-down 32-bit DIB of its own, with the
// stock pen and brush of a fresh context (black pen, white brush).
class CCanvas {
  public:
    CCanvas(int width, int height) : m_dc(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        if (m_dc != nullptr)
            m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        if (m_bitmap != nullptr) m_old = SelectObject(m_dc, m_bitmap);
    }
    ~CCanvas() {
        if (m_old != nullptr) SelectObject(m_dc, m_old);
        if (m_bitmap != nullptr) DeleteObject(m_bitmap);
        if (m_dc != nullptr) DeleteDC(m_dc);
    }
    CCanvas(const CCanvas&) = delete;
    CCanvas& operator=(const CCanvas&) = delete;

    HDC Dc() const { return m_old != nullptr ? m_dc : nullptr; }
    // The pixels as B, G, R and an unused byte each, rows packed.
    const std::uint8_t* Bits() const {
        GdiFlush();
        return static_cast<const std::uint8_t*>(m_bits);
    }

  private:
    HDC m_dc;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    void* m_bits = nullptr;
};

} // namespace

int RunTypeLib(const ModuleCommand& command, std::FILE* out, std::FILE* err) {
    // The module in use: the registered one, else the one beside palvex.
    std::string path = host::RegisteredModule();
    const char* source = host::kFromRegistration;
    if (path.empty()) {
        path = host::ModuleBesideProgram();
        source = host::kFromBesideProgram;
    }
    host::CModuleFile file;
    std::string why;
    if (!file.Load(path, why)) {
        Report(err, path + " " + why);
        return 3;
    }
    if (command.verbose) ReportModule(err, path, source);
    using TextFunction = std::size_t (*)(char*, std::size_t);
    const auto text = host::Export<TextFunction>(file.Get(), "palvex_typelib_text");
    if (text == nullptr) {
        Report(err, path + " has no type library text");
        return 3;
    }
    std::vector<char> buffer(text(nullptr, 0) + 1);
    text(buffer.data(), buffer.size());
    std::fputs(buffer.data(), out);
    return 0;
}

int RunDraw(const ModuleCommand& command, std::FILE* out, std::FILE* err) {
    std::string error;
    const auto control = host::CreateHostedControl({}, error);
    if (control == nullptr) {
        Report(err, error);
        return 3;
    }
    if (command.verbose) ReportModule(err, control->ModulePath(), control->ModuleSource());
    ComPtr<IViewObject> view;
    if (control->Dispatch() == nullptr ||
        FAILED(control->Dispatch()->QueryInterface(IID_IViewObject, view.PutVoid()))) {
        Report(err, control->ModulePath() + " draws no picture");
        return 3;
    }
    const auto w = static_cast<int>(command.width);
    const auto h = static_cast<int>(command.height);
    const CCanvas canvas(w, h);
    if (canvas.Dc() == nullptr) {
        Report(err, "no device context for a picture of " + std::to_string(w) + " x " +
                        std::to_string(h));
        return 3;
    }
    const RECTL bounds{0, 0, w, h};
    const HRESULT hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(),
                                  &bounds, nullptr, nullptr, 0);
    if (FAILED(hr)) {
        Report(err, "drawing failed: " + HresultMessage(hr));
        return 3;
    }
    // The picture covers the whole canvas: every pixel opaque.
    const std::uint8_t* bgrx = canvas.Bits();
    std::vector<std::uint8_t> rgba(std::size_t{command.width} * command.height * 4);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = bgrx[i + 2];
        rgba[i + 1] = bgrx[i + 1];
        rgba[i + 2] = bgrx[i];
        rgba[i + 3] = 255;
    }
    return WriteDrawnPicture(command, rgba, out, err);
}

} // namespace palvex::cli
