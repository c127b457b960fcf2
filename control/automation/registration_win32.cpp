#include "control/automation/registration_win32.h"

#include "control/automation/module_win32.h"
#include "control/automation/registry_entries.h"
#include "platform/os/text_win32.h"

#include <string>
#include <vector>

namespace palvex::win32 {

namespace {

// The automation marshaller, for the interfaces of a dispatch-only library.
constexpr const char* kDispatchProxyStub = "{00020420-0000-0000-C000-000000000046}";
constexpr const char* kLibraryVersion = "1.0";
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

struct Place {
    reg::Root root;
    const char* base;
};

Place PlaceOf(RegistrationScope scope) {
    return scope == RegistrationScope::Machine ? Place{reg::Root::LocalMachine, "SOFTWARE\\Classes"}
                                               : Place{reg::Root::CurrentUser, "Software\\Classes"};
}

std::string Utf8(const std::wstring& wide) {
    std::string text;
    return os::Utf8FromWide(wide, text) ? text : std::string();
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string LibraryVersionKey() {
    return std::string("TypeLib\\") + PALVEX_LIBID_TEXT + "\\" + kLibraryVersion;
}

// The name and help string of the library (index -1) or one of its types,
// as the type library itself carries them.
bool Documentation(ITypeLib* lib, int index, std::string& name, std::string& help) {
    BSTR n = nullptr;
    BSTR h = nullptr;
    if (FAILED(lib->GetDocumentation(index, &n, &h, nullptr, nullptr))) return false;
    name = Utf8(n != nullptr ? n : L"");
    help = Utf8(h != nullptr ? h : L"");
    SysFreeString(n);
    SysFreeString(h);
    return true;
}

// For the user alone: the keys the system's type library registration
// writes, below the user's classes key.
bool WriteUserLibraryKeys(ITypeLib* lib, const std::string& modulePath) {
    std::string name;
    std::string help;
    if (!Documentation(lib, -1, name, help)) return false;
    const std::string version = LibraryVersionKey();
    std::vector<RegistryEntry> e = {
        {version, "", help},
        // LIBFLAG_FCONTROL: a library of controls.
        {version + "\\FLAGS", "", "2"},
        {version + "\\0\\" + (kSysKind == SYS_WIN64 ? "win64" : "win32"), "", modulePath},
        {version + "\\HELPDIR", "", DirectoryOf(modulePath)},
    };
    const UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_DISPATCH) continue;
        ITypeInfo* info = nullptr;
        if (FAILED(lib->GetTypeInfo(i, &info))) return false;
        TYPEATTR* attr = nullptr;
        GUID iid{};
        if (SUCCEEDED(info->GetTypeAttr(&attr))) {
            iid = attr->guid;
            info->ReleaseTypeAttr(attr);
        }
        info->Release();
        if (attr == nullptr || !Documentation(lib, static_cast<int>(i), name, help)) return false;
        wchar_t text[40];
        if (StringFromGUID2(iid, text, 40) == 0) return false;
        const std::string key = "Interface\\" + Utf8(text);
        e.push_back({key, "", name});
        e.push_back({key + "\\ProxyStubClsid", "", kDispatchProxyStub});
        e.push_back({key + "\\ProxyStubClsid32", "", kDispatchProxyStub});
        e.push_back({key + "\\TypeLib", "", PALVEX_LIBID_TEXT});
        e.push_back({key + "\\TypeLib", "Version", kLibraryVersion});
    }
    const Place user = PlaceOf(RegistrationScope::User);
    return WriteRegistryEntries(user.root, user.base, e) == reg::kSuccess;
}

std::vector<std::string> UserLibraryKeys() {
    return {LibraryVersionKey(), std::string("Interface\\") + PALVEX_DIID_DPALVEX_TEXT,
            std::string("Interface\\") + PALVEX_DIID_DPALVEXEVENTS_TEXT};
}

bool RemoveUserLibraryKeys() {
    const Place user = PlaceOf(RegistrationScope::User);
    return RemoveRegistryKeys(user.root, user.base, UserLibraryKeys(),
                              {std::string("TypeLib\\") + PALVEX_LIBID_TEXT}) == reg::kSuccess;
}

bool RegisterLibrary(RegistrationScope scope, const std::wstring& path) {
    ITypeLib* lib = nullptr;
    // The machine's registration is the system's own, from the module's
    // resource; the user's is written here, the same keys in the user's
    // classes.
    const REGKIND kind = scope == RegistrationScope::Machine ? REGKIND_REGISTER : REGKIND_NONE;
    if (FAILED(LoadTypeLibEx(path.c_str(), kind, &lib))) return false;
    bool ok = true;
    if (scope == RegistrationScope::User) {
        ok = WriteUserLibraryKeys(lib, Utf8(path));
        if (!ok) RemoveUserLibraryKeys();
    }
    lib->Release();
    return ok;
}

bool UnregisterLibrary(RegistrationScope scope) {
    if (scope == RegistrationScope::User) return RemoveUserLibraryKeys();
    const HRESULT hr = UnRegisterTypeLib(LIBID_PALVEXLib, 1, 0, LOCALE_NEUTRAL, kSysKind);
    // A library that is not registered counts as removed.
    return SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED;
}

std::vector<ClassRegistration> Classes() {
    std::vector<ClassRegistration> out;
    std::size_t count = 0;
    const ClassInfo* classes = ModuleClasses(&count);
    for (std::size_t i = 0; i < count; ++i) {
        wchar_t clsid[40];
        StringFromGUID2(*classes[i].clsid, clsid, 40);
        out.push_back({Utf8(clsid), Utf8(classes[i].progId),
                       Utf8(ModuleString(classes[i].typeNameId)), classes[i].isControl});
    }
    return out;
}

std::vector<std::string> ClassKeys() {
    std::vector<std::string> keys;
    for (const ClassRegistration& c : Classes()) {
        const auto k = ClassRegistryKeys(c);
        keys.insert(keys.end(), k.begin(), k.end());
    }
    return keys;
}

bool RemoveClasses(RegistrationScope scope) {
    const Place place = PlaceOf(scope);
    return RemoveRegistryKeys(place.root, place.base, ClassKeys()) == reg::kSuccess;
}

bool RegisterClasses(RegistrationScope scope, const std::string& modulePath) {
    std::vector<RegistryEntry> entries;
    for (const ClassRegistration& c : Classes()) {
        // A class without its type name in the module cannot be described.
        if (c.typeName.empty()) return false;
        const auto e = ClassRegistryEntries(c, modulePath);
        entries.insert(entries.end(), e.begin(), e.end());
    }
    const Place place = PlaceOf(scope);
    if (WriteRegistryEntries(place.root, place.base, entries) == reg::kSuccess) return true;
    RemoveClasses(scope);
    return false;
}

} // namespace

HRESULT RegisterServer(RegistrationScope scope) {
    std::wstring path;
    try {
        path = ModulePath();
        if (path.empty() || !RegisterLibrary(scope, path)) return SELFREG_E_TYPELIB;
    } catch (...) {
        return SELFREG_E_TYPELIB;
    }
    try {
        if (!RegisterClasses(scope, Utf8(path))) return SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT UnregisterServer(RegistrationScope scope) {
    try {
        if (!UnregisterLibrary(scope)) return SELFREG_E_TYPELIB;
    } catch (...) {
        return SELFREG_E_TYPELIB;
    }
    try {
        if (!RemoveClasses(scope)) return SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

} // namespace palvex::win32
