// The console commands' terminal on Windows. The tool's texts are UTF-8;
// what reaches the user is the console's: a console is written in UTF-16
// (WriteConsoleW), whatever its code page; a file or pipe gets the bytes of
// the console's output code page, as any console program's redirected output.
// A program started with no console at all (by another program, under Wine
// from a script) has no code page to honour and writes the UTF-8 text as it
// is, the bytes the Linux dravel writes. dravel.exe is a windowed program:
// started from a console window with a command it takes that console for
// the standard handles it was not given (UseParentConsole).
#include "tool/console/terminal.h"

#include "control/host/com_control_win32.h"
#include "platform/os/text_win32.h"

#include <windows.h>

#include <istream>
#include <ostream>
#include <streambuf>

namespace dravel {

namespace {

using palvex::os::Utf8Of;
using palvex::os::WideOf;

// The length of the longest prefix of `text` that ends on a whole UTF-8
// character, so a character split between two writes is converted whole.
std::size_t WholeCharacters(const std::string& text) {
    std::size_t end = text.size();
    std::size_t back = 0;
    while (back < 4 && back < end &&
           (static_cast<unsigned char>(text[end - 1 - back]) & 0xC0) == 0x80)
        ++back;
    if (back == end) return end;
    const auto lead = static_cast<unsigned char>(text[end - 1 - back]);
    const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return need > back + 1 ? end - 1 - back : end;
}

// A stream buffer over one standard handle: lines are converted and written
// as they end, and whatever is left when the stream is flushed.
class CConsoleBuf final : public std::streambuf {
  public:
    explicit CConsoleBuf(DWORD which) : m_which(which) {}
    ~CConsoleBuf() override { sync(); }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        m_pending += traits_type::to_char_type(c);
        if (c == '\n') return sync() == 0 ? c : traits_type::eof();
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        m_pending.append(s, static_cast<std::size_t>(n));
        if (m_pending.find('\n') != std::string::npos && sync() != 0) return 0;
        return n;
    }
    int sync() override {
        const std::size_t whole = WholeCharacters(m_pending);
        if (whole == 0) return 0;
        const bool ok = Write(std::string_view(m_pending).substr(0, whole));
        m_pending.erase(0, whole);
        return ok ? 0 : -1;
    }

  private:
    bool Write(std::string_view text) const {
        const HANDLE h = GetStdHandle(m_which);
        if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode)) {
            const std::wstring wide = WideOf(text);
            DWORD written = 0;
            return WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written,
                                 nullptr) != 0;
        }
        std::string bytes(text);
        const UINT codePage = GetConsoleOutputCP();
        if (codePage != 0 && codePage != CP_UTF8) {
            const std::wstring wide = WideOf(text);
            const int n =
                WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
            bytes.assign(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
            if (n > 0)
                WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    bytes.data(), n, nullptr, nullptr);
        }
        DWORD written = 0;
        return bytes.empty() ||
               WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    }

    DWORD m_which;
    std::string m_pending;
};

// A stream buffer over standard input: a console is read in UTF-16
// (ReadConsoleW), a file or pipe in the console's input code page (UTF-8
// when there is no console); what it gives is UTF-8.
class CConsoleInBuf final : public std::streambuf {
  protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        m_text = Read();
        if (m_text.empty()) return traits_type::eof();
        setg(m_text.data(), m_text.data(), m_text.data() + m_text.size());
        return traits_type::to_int_type(*gptr());
    }

  private:
    static std::string Read() {
        const HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
        if (h == nullptr || h == INVALID_HANDLE_VALUE) return {};
        DWORD mode = 0;
        if (GetConsoleMode(h, &mode)) {
            wchar_t wide[256];
            DWORD n = 0;
            if (!ReadConsoleW(h, wide, 256, &n, nullptr)) return {};
            return Utf8Of(std::wstring_view(wide, n));
        }
        char bytes[256];
        DWORD n = 0;
        if (!ReadFile(h, bytes, sizeof bytes, &n, nullptr) || n == 0) return {};
        const UINT codePage = GetConsoleCP();
        if (codePage == 0 || codePage == CP_UTF8) return std::string(bytes, n);
        const int count = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(n), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(count > 0 ? count : 0), L'\0');
        if (count > 0)
            MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(n), wide.data(), count);
        return Utf8Of(wide);
    }

    std::string m_text;
};

} // namespace

struct CEchoOff::SSaved {
    DWORD mode = 0;
};

void UseParentConsole() {
    // A handle the program was given, a console's, a file's or a pipe's, is
    // kept; one it lacks is opened on the parent's console. A windowed
    // program gets no console handles from cmd.exe or PowerShell, only
    // those redirected (dravel.exe settings > file).
    const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    bool missing[3] = {};
    bool any = false;
    for (int i = 0; i < 3; ++i) {
        const HANDLE h = GetStdHandle(which[i]);
        missing[i] = h == nullptr || h == INVALID_HANDLE_VALUE;
        any = any || missing[i];
    }
    if (!any) return;
    // ERROR_ACCESS_DENIED: the process has a console already (Wine gives a
    // console's child one), which serves as well.
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) return;
    for (int i = 0; i < 3; ++i) {
        if (!missing[i]) continue;
        // Held until the program ends, as standard handles are.
        const HANDLE h =
            CreateFileW(i == 0 ? L"CONIN$" : L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) SetStdHandle(which[i], h);
    }
}

std::vector<std::string> ProgramWords(int, char**) {
    return palvex::host::ProgramWords();
}

std::istream& ConsoleIn() {
    static CConsoleInBuf buffer;
    static std::istream stream(&buffer);
    return stream;
}

std::ostream& ConsoleOut() {
    static CConsoleBuf buffer(STD_OUTPUT_HANDLE);
    static std::ostream stream(&buffer);
    return stream;
}

std::ostream& ConsoleErr() {
    static CConsoleBuf buffer(STD_ERROR_HANDLE);
    static std::ostream stream(&buffer);
    stream.setf(std::ios::unitbuf);
    return stream;
}

bool InputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

CEchoOff::CEchoOff(bool active) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    auto saved = std::make_unique<SSaved>();
    if (!active || !GetConsoleMode(in, &saved->mode)) return;
    if (SetConsoleMode(in, saved->mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)))
        m_saved = std::move(saved);
}

CEchoOff::~CEchoOff() {
    if (m_saved) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), m_saved->mode);
}

} // namespace dravel
