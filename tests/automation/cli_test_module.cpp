// A control module with methods of its own, none of them the link control's,
// for the palvex program tests: palvex must learn what it may call from the
// loaded module's type information alone. Built from the public header only.
//
//   [id(1)]  short   Twice(short Value)        2 * Value
//   [id(2)]  boolean Greet(BSTR* bStr)         true, bStr = "hi <n>" (n-th call)
//   [id(5)]  void    Vanish(long Unknown)      a parameter palvex has no form for
#include "palvex_com.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Strings in the interface's layout: a 4-byte byte count, the characters, a
// zero character.
BSTR AllocString(const OLECHAR* s, unsigned len) {
    auto* block = static_cast<unsigned char*>(std::malloc(4 + (len + 1) * sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    const std::uint32_t bytes = len * sizeof(OLECHAR);
    std::memcpy(block, &bytes, 4);
    auto* chars = reinterpret_cast<OLECHAR*>(block + 4);
    for (unsigned i = 0; i < len; ++i)
        chars[i] = s != nullptr ? s[i] : 0;
    chars[len] = 0;
    return chars;
}

BSTR StringOf(const char* text) {
    std::u16string wide(text, text + std::strlen(text));
    return AllocString(wide.data(), static_cast<unsigned>(wide.size()));
}

struct Member {
    MEMBERID id;
    const char* names[2]; // the method's, then its parameter's (or null)
    ELEMDESC param;
    VARTYPE result;
};

const Member kMembers[] = {
    {1, {"Twice", "Value"}, {VT_I2, 0}, VT_I2},
    {2, {"Greet", "bStr"}, {VT_BSTR | VT_BYREF, 0}, VT_BOOL},
    {5, {"Vanish", "Unknown"}, {VT_I4, 0}, VT_VOID},
};
constexpr unsigned kMemberCount = sizeof kMembers / sizeof kMembers[0];

const Member* MemberOf(MEMBERID id) {
    for (const Member& m : kMembers)
        if (m.id == id) return &m;
    return nullptr;
}

bool SameName(const OLECHAR* a, const char* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        const auto x = *a >= 'A' && *a <= 'Z' ? *a + 32 : *a;
        const auto y = *b >= 'A' && *b <= 'Z' ? *b + 32 : *b;
        if (x != y) return false;
    }
    return *a == 0 && *b == 0;
}

// --- ITypeInfo (one static object) -----------------------------------------

HRESULT TiQueryInterface(ITypeInfo* This, REFIID, void** ppv) {
    *ppv = This;
    return S_OK;
}
ULONG TiAddRef(ITypeInfo*) {
    return 1;
}
ULONG TiRelease(ITypeInfo*) {
    return 1;
}
HRESULT TiGetTypeAttr(ITypeInfo*, TYPEATTR** attr) {
    auto* a = new TYPEATTR{};
    a->typekind = TKIND_DISPATCH;
    a->cFuncs = kMemberCount;
    *attr = a;
    return S_OK;
}
HRESULT TiGetFuncDesc(ITypeInfo*, unsigned index, FUNCDESC** desc) {
    if (index >= kMemberCount) return TYPE_E_ELEMENTNOTFOUND;
    const Member& m = kMembers[index];
    auto* d = new FUNCDESC{};
    d->memid = m.id;
    d->funckind = FUNC_DISPATCH;
    d->invkind = INVOKE_FUNC;
    d->cParams = 1;
    d->lprgelemdescParam = &m.param;
    d->elemdescFunc = {m.result, 0};
    *desc = d;
    return S_OK;
}
HRESULT TiGetNames(ITypeInfo*, MEMBERID memid, BSTR* names, unsigned maxNames, unsigned* count) {
    const Member* m = MemberOf(memid);
    if (m == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    unsigned n = 0;
    for (; n < maxNames && n < 2; ++n)
        names[n] = StringOf(m->names[n]);
    *count = n;
    return S_OK;
}
HRESULT TiGetIDsOfNames(ITypeInfo*, OLECHAR**, unsigned, MEMBERID*) {
    return E_NOTIMPL;
}
HRESULT TiGetDocumentation(ITypeInfo*, MEMBERID, BSTR*, BSTR*, DWORD*, BSTR*) {
    return E_NOTIMPL;
}
void TiReleaseTypeAttr(ITypeInfo*, TYPEATTR* attr) {
    delete attr;
}
void TiReleaseFuncDesc(ITypeInfo*, FUNCDESC* desc) {
    delete desc;
}

const ITypeInfoVtbl kTypeInfoTable = {
    TiQueryInterface, TiAddRef,        TiRelease,          TiGetTypeAttr,     TiGetFuncDesc,
    TiGetNames,       TiGetIDsOfNames, TiGetDocumentation, TiReleaseTypeAttr, TiReleaseFuncDesc,
};
ITypeInfo g_typeInfo = {&kTypeInfoTable};

// --- IDispatch (one static object) -----------------------------------------

int g_greetings = 0;

HRESULT DQueryInterface(IDispatch* This, REFIID riid, void** ppv) {
    if (std::memcmp(riid, &IID_IDispatch, sizeof(IID)) != 0 &&
        std::memcmp(riid, &IID_IUnknown, sizeof(IID)) != 0) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = This;
    return S_OK;
}
ULONG DAddRef(IDispatch*) {
    return 1;
}
ULONG DRelease(IDispatch*) {
    return 1;
}
HRESULT DGetTypeInfoCount(IDispatch*, unsigned* count) {
    *count = 1;
    return S_OK;
}
HRESULT DGetTypeInfo(IDispatch*, unsigned index, LCID, ITypeInfo** info) {
    if (index != 0) return DISP_E_BADINDEX;
    *info = &g_typeInfo;
    return S_OK;
}
HRESULT DGetIDsOfNames(IDispatch*, REFIID, OLECHAR** names, unsigned count, LCID, DISPID* ids) {
    if (count != 1) return DISP_E_UNKNOWNNAME;
    for (const Member& m : kMembers)
        if (SameName(names[0], m.names[0])) {
            ids[0] = m.id;
            return S_OK;
        }
    ids[0] = -1;
    return DISP_E_UNKNOWNNAME;
}
HRESULT DInvoke(IDispatch*, DISPID id, REFIID, LCID, std::uint16_t, DISPPARAMS* params,
                VARIANT* result, EXCEPINFO*, unsigned* argErr) {
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT& arg = params->rgvarg[0];
    if (argErr != nullptr) *argErr = 0;
    std::memset(result, 0, sizeof *result);
    switch (id) {
    case 1:
        if (arg.vt != VT_I2) return DISP_E_TYPEMISMATCH;
        result->vt = VT_I2;
        result->iVal = static_cast<std::int16_t>(2 * arg.iVal);
        return S_OK;
    case 2:
        if (arg.vt != (VT_BSTR | VT_BYREF)) return DISP_E_TYPEMISMATCH;
        *arg.pbstrVal = StringOf(("hi " + std::to_string(++g_greetings)).c_str());
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
        return S_OK;
    case 5:
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

const IDispatchVtbl kDispatchTable = {
    DQueryInterface, DAddRef, DRelease, DGetTypeInfoCount, DGetTypeInfo, DGetIDsOfNames, DInvoke,
};
IDispatch g_dispatch = {&kDispatchTable};

// --- IClassFactory ----------------------------------------------------------

HRESULT FQueryInterface(IClassFactory* This, REFIID, void** ppv) {
    *ppv = This;
    return S_OK;
}
ULONG FAddRef(IClassFactory*) {
    return 1;
}
ULONG FRelease(IClassFactory*) {
    return 1;
}
HRESULT FCreateInstance(IClassFactory*, IUnknown* outer, REFIID riid, void** ppv) {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return DQueryInterface(&g_dispatch, riid, ppv);
}
HRESULT FLockServer(IClassFactory*, BOOL) {
    return S_OK;
}

const IClassFactoryVtbl kFactoryTable = {
    FQueryInterface, FAddRef, FRelease, FCreateInstance, FLockServer,
};
IClassFactory g_factory = {&kFactoryTable};

} // namespace

PALVEX_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID, void** ppv) {
    if (std::memcmp(clsid, &CLSID_Palvex, sizeof(CLSID)) != 0) {
        *ppv = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    *ppv = &g_factory;
    return S_OK;
}

// Its objects are static: it may stay loaded.
PALVEX_API HRESULT DllCanUnloadNow(void) {
    return S_FALSE;
}
PALVEX_API HRESULT DllRegisterServer(void) {
    return E_NOTIMPL;
}
PALVEX_API HRESULT DllUnregisterServer(void) {
    return E_NOTIMPL;
}

PALVEX_API BSTR PalvexSysAllocStringLen(const OLECHAR* s, unsigned int len) {
    return AllocString(s, len);
}
PALVEX_API void PalvexSysFreeString(BSTR s) {
    if (s != nullptr) std::free(reinterpret_cast<unsigned char*>(s) - 4);
}
PALVEX_API unsigned int PalvexSysStringLen(BSTR s) {
    if (s == nullptr) return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(s) - 4, 4);
    return bytes / sizeof(OLECHAR);
}
