#include "control/host/com_control_win32.h"

#include "control/automation/hresult_text.h"
#include "platform/os/text_win32.h"

#include <shellapi.h>

namespace palvex::host {

namespace {

using os::Utf8Of;
using os::WideOf;

} // namespace

std::string RegisteredModule() {
    const std::wstring key = L"CLSID\\" + WideOf(PALVEX_CLSID_TEXT) + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = {};
    DWORD bytes = sizeof path;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                     &bytes) != ERROR_SUCCESS)
        return {};
    return Utf8Of(path);
}

std::string ModuleBesideProgram() {
    wchar_t exe[MAX_PATH * 2] = {};
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    std::wstring path(exe, n);
    const std::size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return Utf8Of(path) + kModuleFileName;
}

std::vector<std::string> ProgramWords() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; wide != nullptr && i < count; ++i)
        words.push_back(Utf8Of(wide[i]));
    if (wide != nullptr) LocalFree(wide);
    return words;
}

CModuleFile::~CModuleFile() {
    if (m_module == nullptr) return;
    const auto canUnload = Export<LPFNCANUNLOADNOW>(m_module, "DllCanUnloadNow");
    if (canUnload == nullptr || canUnload() == S_OK) FreeLibrary(m_module);
}

bool CModuleFile::Load(const std::string& path, std::string& why) {
    m_module = LoadLibraryW(WideOf(path).c_str());
    if (m_module == nullptr)
        why = "cannot be loaded: " + HresultText(HRESULT_FROM_WIN32(GetLastError()));
    return m_module != nullptr;
}

} // namespace palvex::host
