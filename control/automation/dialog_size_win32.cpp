#include "control/automation/dialog_size_win32.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace palvex::win32 {

namespace {

// What the size depends on: the dialog units and the font.
struct STemplateFacts {
    int cx = 0;
    int cy = 0;
    bool hasFont = false;
    int pointSize = 0;
    int weight = FW_DONTCARE;
    bool italic = false;
    BYTE charset = DEFAULT_CHARSET;
    std::wstring face;
};

// Reads the template's words in order, refusing to read past its end.
class CTemplateReader {
  public:
    CTemplateReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

    bool Word(WORD* w) { return Take(w, sizeof *w); }
    bool Dword(DWORD* d) { return Take(d, sizeof *d); }
    bool Byte(BYTE* b) { return Take(b, 1); }
    bool Skip(std::size_t n) {
        if (n > m_size - m_pos) return false;
        m_pos += n;
        return true;
    }
    // A text, a resource number (0xFFFF and a word) or nothing (0).
    bool TextOrNumber(std::wstring* text = nullptr) {
        WORD first = 0;
        if (!Word(&first)) return false;
        if (first == 0) return true;
        if (first == 0xFFFF) return Skip(sizeof(WORD));
        for (WORD c = first; c != 0;) {
            if (text != nullptr) text->push_back(static_cast<wchar_t>(c));
            if (!Word(&c)) return false;
        }
        return true;
    }

  private:
    bool Take(void* out, std::size_t n) {
        if (n > m_size - m_pos) return false;
        std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
        return true;
    }

    const BYTE* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// DIALOG (DLGTEMPLATE) and DIALOGEX (DLGTEMPLATEEX) templates.
bool ReadTemplate(const BYTE* data, std::size_t size, STemplateFacts* facts) {
    CTemplateReader r(data, size);
    WORD version = 0;
    WORD signature = 0;
    if (!r.Word(&version) || !r.Word(&signature)) return false;
    const bool extended = version == 1 && signature == 0xFFFF;
    DWORD style = 0;
    if (extended) {
        DWORD helpId = 0;
        DWORD exStyle = 0;
        if (!r.Dword(&helpId) || !r.Dword(&exStyle) || !r.Dword(&style)) return false;
    } else {
        style = MAKELONG(version, signature);
        DWORD exStyle = 0;
        if (!r.Dword(&exStyle)) return false;
    }
    WORD items = 0;
    WORD x = 0;
    WORD y = 0;
    WORD cx = 0;
    WORD cy = 0;
    if (!r.Word(&items) || !r.Word(&x) || !r.Word(&y) || !r.Word(&cx) || !r.Word(&cy)) return false;
    facts->cx = static_cast<SHORT>(cx);
    facts->cy = static_cast<SHORT>(cy);
    // The menu, the window class and the caption.
    if (!r.TextOrNumber() || !r.TextOrNumber() || !r.TextOrNumber()) return false;
    if ((style & DS_SETFONT) == 0) return true;
    WORD points = 0;
    if (!r.Word(&points)) return false;
    if (extended) {
        WORD weight = 0;
        BYTE italic = 0;
        BYTE charset = 0;
        if (!r.Word(&weight) || !r.Byte(&italic) || !r.Byte(&charset)) return false;
        facts->weight = weight;
        facts->italic = italic != 0;
        facts->charset = charset;
    }
    // 0x7FFF asks for the system's message font, which the dialog base
    // units stand for.
    if (points == 0x7FFF) return true;
    facts->hasFont = true;
    facts->pointSize = points;
    return r.TextOrNumber(&facts->face);
}

// The average character width and the height of the template's font, as
// the dialog manager measures them.
bool FontBaseUnits(const STemplateFacts& facts, int* baseX, int* baseY) {
    HDC dc = GetDC(nullptr);
    if (dc == nullptr) return false;
    const int height = -MulDiv(facts.pointSize, GetDeviceCaps(dc, LOGPIXELSY), 72);
    HFONT font = CreateFontW(height, 0, 0, 0, facts.weight, facts.italic, FALSE, FALSE,
                             facts.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, facts.face.c_str());
    bool ok = false;
    if (font != nullptr) {
        HGDIOBJ old = SelectObject(dc, font);
        static constexpr wchar_t kAlphabet[] =
            L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        TEXTMETRICW metrics{};
        SIZE extent{};
        if (GetTextMetricsW(dc, &metrics) && GetTextExtentPoint32W(dc, kAlphabet, 52, &extent)) {
            *baseX = (extent.cx / 26 + 1) / 2;
            *baseY = metrics.tmHeight;
            ok = true;
        }
        SelectObject(dc, old);
        DeleteObject(font);
    }
    ReleaseDC(nullptr, dc);
    return ok;
}

} // namespace

HRESULT DialogTemplateSize(HMODULE module, UINT id, SIZE* pixels) {
    if (pixels == nullptr) return E_POINTER;
    *pixels = SIZE{};
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (found == nullptr) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (data == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    STemplateFacts facts;
    if (!ReadTemplate(data, SizeofResource(module, found), &facts)) return E_UNEXPECTED;

    int baseX = 0;
    int baseY = 0;
    if (!facts.hasFont || !FontBaseUnits(facts, &baseX, &baseY)) {
        const LONG units = GetDialogBaseUnits();
        baseX = LOWORD(units);
        baseY = HIWORD(units);
    }
    pixels->cx = MulDiv(facts.cx, baseX, 4);
    pixels->cy = MulDiv(facts.cy, baseY, 8);
    return S_OK;
}

} // namespace palvex::win32
