// The control module's resources as a host reads them: the type library
// (against the dispatch table), the strings, the property page's dialog, the
// toolbox bitmap and the version block. PALVEX_MODULE_FILE names the module.
#include "control/automation/dispatch_table.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

std::wstring ModuleFile() {
    const wchar_t* path = _wgetenv(L"PALVEX_MODULE_FILE");
    return path != nullptr ? path : L"";
}

VARTYPE TypeOf(const TYPEDESC& t) {
    return t.vt == VT_PTR ? static_cast<VARTYPE>(t.lptdesc->vt | VT_BYREF) : t.vt;
}

std::string Narrow(const BSTR text) {
    std::string out;
    for (const wchar_t* c = text; c != nullptr && *c != 0; ++c)
        out += static_cast<char>(*c);
    return out;
}

TEST(ModuleResources, TypeLibraryDescribesEveryMethodWithItsIdNamesAndTypes) {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(LoadTypeLibEx(ModuleFile().c_str(), REGKIND_NONE, &lib), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_PALVEXLib));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_TRUE(attr->wLibFlags & LIBFLAG_FCONTROL);
    lib->ReleaseTLibAttr(attr);

    ITypeInfo* events = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(DIID__DPalvexEvents, &events), S_OK);
    TYPEATTR* ta = nullptr;
    events->GetTypeAttr(&ta);
    EXPECT_EQ(ta->cFuncs + ta->cVars, 0);
    events->ReleaseTypeAttr(ta);
    events->Release();

    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(DIID__DPalvex, &info), S_OK);
    info->GetTypeAttr(&ta);
    EXPECT_EQ(ta->typekind, TKIND_DISPATCH);
    EXPECT_EQ(ta->cVars, 0);
    const auto methods = palvex::AllDispatchEntries();
    ASSERT_EQ(ta->cFuncs, methods.size());
    info->ReleaseTypeAttr(ta);
    for (UINT i = 0; i < methods.size(); ++i) {
        const palvex::DispatchEntry& m = methods[i];
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        EXPECT_EQ(f->memid, m.id) << m.name;
        EXPECT_EQ(f->invkind, INVOKE_FUNC) << m.name;
        EXPECT_EQ(TypeOf(f->elemdescFunc.tdesc), m.result) << m.name;
        BSTR names[16] = {};
        UINT count = 0;
        info->GetNames(f->memid, names, 16, &count);
        ASSERT_EQ(count, m.paramCount + 1) << m.name;
        EXPECT_EQ(Narrow(names[0]), m.name);
        for (std::size_t p = 0; p < m.paramCount; ++p) {
            const VARTYPE vt = TypeOf(f->lprgelemdescParam[p].tdesc);
            EXPECT_EQ(Narrow(names[p + 1]), m.params[p].name) << m.name;
            EXPECT_EQ(vt, m.params[p].vt) << m.name << " " << m.params[p].name;
        }
        // An "lp" parameter given by value carries an address: as wide as a
        // pointer in each architecture's library.
        for (std::size_t p = 0; p < m.paramCount; ++p) {
            if (std::string_view(m.params[p].name).starts_with("lp") &&
                !(m.params[p].vt & VT_BYREF)) {
                EXPECT_EQ(TypeOf(f->lprgelemdescParam[p].tdesc),
                          sizeof(void*) == 8 ? VT_I8 : VT_I4);
            }
        }
        for (UINT n = 0; n < count; ++n)
            SysFreeString(names[n]);
        info->ReleaseFuncDesc(f);
    }
    info->Release();

    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(CLSID_Palvex, &coclass), S_OK);
    INT flags[2] = {};
    coclass->GetImplTypeFlags(0, &flags[0]);
    coclass->GetImplTypeFlags(1, &flags[1]);
    EXPECT_EQ(flags[0], IMPLTYPEFLAG_FDEFAULT);
    EXPECT_EQ(flags[1], IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    coclass->Release();
    lib->Release();
}

// The module loaded for its resources only; none of its code runs.
struct DataModule {
    HMODULE module = LoadLibraryExW(ModuleFile().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ~DataModule() {
        if (module != nullptr) FreeLibrary(module);
    }
    std::string_view Resource(int id, const wchar_t* type) const {
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
        if (found == nullptr) return {};
        return {static_cast<const char*>(LockResource(LoadResource(module, found))),
                SizeofResource(module, found)};
    }
};

TEST(ModuleResources, StringTableHoldsTheTypeNamesAndThePageCaption) {
    DataModule data;
    ASSERT_NE(data.module, nullptr);
    const struct {
        UINT id;
        const wchar_t* text;
    } strings[] = {{1, L"Palvex Control"}, {2, L"Palvex Property Page"}, {200, L"General"}};
    for (const auto& s : strings) {
        wchar_t text[64] = {};
        EXPECT_GT(LoadStringW(data.module, s.id, text, 64), 0) << s.id;
        EXPECT_STREQ(text, s.text) << s.id;
    }
}

TEST(ModuleResources, PropertyPageIsAChildDialogWithItsOneStaticText) {
    DataModule data;
    const std::string_view dialog = data.Resource(200, MAKEINTRESOURCEW(5)); // RT_DIALOG
    ASSERT_GE(dialog.size(), sizeof(DLGTEMPLATE));
    DLGTEMPLATE head;
    memcpy(&head, dialog.data(), sizeof head);
    EXPECT_EQ(head.style & (WS_CHILD | DS_SETFONT | WS_POPUP), WS_CHILD | DS_SETFONT);
    EXPECT_EQ(head.cdit, 1);
    EXPECT_EQ(head.cx, 250);
    EXPECT_EQ(head.cy, 62);
    // After the header: no menu, the default class, an empty title, then the
    // font's size and name.
    const auto* words = reinterpret_cast<const WORD*>(dialog.data() + 18);
    EXPECT_EQ(words[0], 0);
    EXPECT_EQ(words[1], 0);
    EXPECT_EQ(words[2], 0);
    EXPECT_EQ(words[3], 8);
    const auto* face = reinterpret_cast<const wchar_t*>(words + 4);
    EXPECT_STREQ(face, L"MS Sans Serif");
    // The item starts on the next DWORD boundary.
    std::size_t at = reinterpret_cast<const char*>(face + wcslen(face) + 1) - dialog.data();
    at = (at + 3) & ~std::size_t{3};
    ASSERT_LE(at + sizeof(DLGITEMTEMPLATE), dialog.size());
    DLGITEMTEMPLATE item;
    memcpy(&item, dialog.data() + at, sizeof item);
    EXPECT_EQ(item.x, 7);
    EXPECT_EQ(item.y, 25);
    EXPECT_EQ(item.cx, 229);
    EXPECT_EQ(item.cy, 16);
    const auto* itemWords = reinterpret_cast<const WORD*>(dialog.data() + at + 18);
    EXPECT_EQ(itemWords[0], 0xFFFF); // the class by atom:
    EXPECT_EQ(itemWords[1], 0x0082); // static
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(itemWords + 2),
                 L"TODO: Place controls to manipulate properties of Palvex Control on this "
                 L"dialog.");
}

TEST(ModuleResources, ToolboxBitmapIs20By20In16Colours) {
    DataModule data;
    const std::string_view bits = data.Resource(1, MAKEINTRESOURCEW(2)); // RT_BITMAP
    ASSERT_GE(bits.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    memcpy(&header, bits.data(), sizeof header);
    EXPECT_EQ(header.biWidth, 20);
    EXPECT_EQ(header.biHeight, 20);
    EXPECT_EQ(header.biBitCount, 4);
    HBITMAP bitmap = LoadBitmapW(data.module, MAKEINTRESOURCEW(1));
    ASSERT_NE(bitmap, nullptr);
    BITMAP loaded{};
    GetObjectW(bitmap, sizeof loaded, &loaded);
    EXPECT_EQ(loaded.bmWidth, 20);
    EXPECT_EQ(loaded.bmHeight, 20);
    DeleteObject(bitmap);
}

TEST(ModuleResources, VersionBlockNamesTheModuleAndSaysItRegistersItself) {
    const std::wstring file = ModuleFile();
    std::vector<char> block(GetFileVersionInfoSizeW(file.c_str(), nullptr));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, block.size(), block.data()));
    void* value = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &value, &size));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &size));
    ASSERT_EQ(size, 4u);
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);
    const struct {
        const wchar_t* name;
        const wchar_t* text;
    } strings[] = {
        {L"FileVersion", L"1, 0, 0, 1"},
        {L"ProductVersion", L"1, 0, 0, 1"},
        {L"FileDescription", L"Palvex ActiveX Control Module"},
        {L"ProductName", L"Palvex ActiveX Control Module"},
        {L"InternalName", L"Palvex"},
        {L"OriginalFilename", L"Palvex.OCX"},
        {L"OLESelfRegister", L""},
    };
    for (const auto& s : strings) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.name;
        value = nullptr;
        EXPECT_TRUE(VerQueryValueW(block.data(), key.c_str(), &value, &size)) << key;
        EXPECT_STREQ(value != nullptr ? static_cast<const wchar_t*>(value) : L"<none>", s.text);
    }
}

} // namespace

namespace {

template <class F> F EntryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The module as COM loads it: a factory per class, none for another class,
// no aggregation, and DllCanUnloadNow false while an object, a factory or a
// server lock is alive.
TEST(ModuleEntryPoints, ServeBothClassesAndTellWhenTheModuleMayGo) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE module = LoadLibraryW(ModuleFile().c_str());
    ASSERT_NE(module, nullptr);
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    const auto getClassObject = EntryPoint<GetClassObject>(module, "DllGetClassObject");
    const auto canUnloadNow = EntryPoint<CanUnloadNow>(module, "DllCanUnloadNow");
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "DllInstall"})
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    EXPECT_EQ(canUnloadNow(), S_OK);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_Palvex, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    IUnknown* outer = factory;
    void* aggregated = nullptr;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &aggregated), CLASS_E_NOAGGREGATION);
    IDispatch* control = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE); // the object and the lock
    control->Release();
    EXPECT_EQ(canUnloadNow(), S_FALSE); // the lock
    ASSERT_EQ(getClassObject(CLSID_Palvex, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);

    IClassFactory* pageFactory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_PalvexPropPage, IID_IClassFactory,
                             reinterpret_cast<void**>(&pageFactory)),
              S_OK);
    IUnknown* page = nullptr;
    EXPECT_EQ(
        pageFactory->CreateInstance(nullptr, IID_IPropertyPage, reinterpret_cast<void**>(&page)),
        S_OK);
    if (page != nullptr) page->Release();
    pageFactory->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
    FreeLibrary(module);
    CoUninitialize();
}

} // namespace
