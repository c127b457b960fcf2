/* A control module with methods of its own, none of them the link control's,
 * for the palvex program tests: palvex must learn what it may call from the
 * loaded module's type information alone. Built from the public header
 * only, and in C: palvex, in C++, calls through the same tables a C module
 * lays out.
 *
 *   [id(1)]  short   Twice(short Value)        2 * Value
 *   [id(2)]  boolean Greet(BSTR* bStr)         true, bStr = "hi <n>" (n-th call)
 *   [id(5)]  void    Vanish(long Unknown)      a parameter palvex has no form for
 */
#include "palvex_com.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Strings in the interface's layout: a 4-byte byte count, the characters, a
 * zero character. */
static BSTR AllocString(const OLECHAR* s, unsigned len) {
    unsigned char* block = malloc(4 + (len + 1) * sizeof(OLECHAR));
    if (block == NULL) return NULL;
    const uint32_t bytes = len * sizeof(OLECHAR);
    memcpy(block, &bytes, 4);
    OLECHAR* chars = (OLECHAR*)(block + 4);
    for (unsigned i = 0; i < len; ++i)
        chars[i] = s != NULL ? s[i] : 0;
    chars[len] = 0;
    return chars;
}

static BSTR StringOf(const char* text) {
    OLECHAR wide[64];
    unsigned n = 0;
    for (; text[n] != 0 && n < 64; ++n)
        wide[n] = (unsigned char)text[n];
    return AllocString(wide, n);
}

typedef struct Member {
    MEMBERID id;
    const char* names[2]; /* the method's, then its parameter's */
    ELEMDESC param;
    VARTYPE result;
} Member;

static const Member kMembers[] = {
    {1, {"Twice", "Value"}, {VT_I2, 0}, VT_I2},
    {2, {"Greet", "bStr"}, {VT_BSTR | VT_BYREF, 0}, VT_BOOL},
    {5, {"Vanish", "Unknown"}, {VT_I4, 0}, VT_VOID},
};
enum { kMemberCount = sizeof kMembers / sizeof kMembers[0] };

static const Member* MemberOf(MEMBERID id) {
    for (unsigned i = 0; i < kMemberCount; ++i)
        if (kMembers[i].id == id) return &kMembers[i];
    return NULL;
}

static int SameName(const OLECHAR* a, const char* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        const unsigned x = *a >= 'A' && *a <= 'Z' ? *a + 32u : *a;
        const unsigned y = *b >= 'A' && *b <= 'Z' ? *b + 32u : (unsigned char)*b;
        if (x != y) return 0;
    }
    return *a == 0 && *b == 0;
}

static int SameIid(REFIID a, const IID* b) {
    return memcmp(a, b, sizeof(IID)) == 0;
}

/* --- ITypeInfo (one static object) --------------------------------------- */

static HRESULT TiQueryInterface(ITypeInfo* This, REFIID riid, void** ppv) {
    (void)riid;
    *ppv = This;
    return S_OK;
}
static ULONG TiAddRef(ITypeInfo* This) {
    (void)This;
    return 1;
}
static ULONG TiRelease(ITypeInfo* This) {
    (void)This;
    return 1;
}
static HRESULT TiGetTypeAttr(ITypeInfo* This, TYPEATTR** attr) {
    (void)This;
    TYPEATTR* a = calloc(1, sizeof *a);
    a->typekind = TKIND_DISPATCH;
    a->cFuncs = kMemberCount;
    *attr = a;
    return S_OK;
}
static HRESULT TiGetFuncDesc(ITypeInfo* This, UINT index, FUNCDESC** desc) {
    (void)This;
    if (index >= kMemberCount) return TYPE_E_ELEMENTNOTFOUND;
    const Member* m = &kMembers[index];
    FUNCDESC* d = calloc(1, sizeof *d);
    d->memid = m->id;
    d->funckind = FUNC_DISPATCH;
    d->invkind = INVOKE_FUNC;
    d->cParams = 1;
    d->lprgelemdescParam = &m->param;
    d->elemdescFunc.vt = m->result;
    *desc = d;
    return S_OK;
}
static HRESULT TiGetNames(ITypeInfo* This, MEMBERID memid, BSTR* names, UINT maxNames,
                          UINT* count) {
    (void)This;
    const Member* m = MemberOf(memid);
    if (m == NULL) return TYPE_E_ELEMENTNOTFOUND;
    unsigned n = 0;
    for (; n < maxNames && n < 2; ++n)
        names[n] = StringOf(m->names[n]);
    *count = n;
    return S_OK;
}
static HRESULT TiGetIDsOfNames(ITypeInfo* This, LPOLESTR* names, UINT count, MEMBERID* ids) {
    (void)This, (void)names, (void)count, (void)ids;
    return E_NOTIMPL;
}
static HRESULT TiGetDocumentation(ITypeInfo* This, MEMBERID memid, BSTR* name, BSTR* doc,
                                  DWORD* context, BSTR* file) {
    (void)This, (void)memid, (void)name, (void)doc, (void)context, (void)file;
    return E_NOTIMPL;
}
static void TiReleaseTypeAttr(ITypeInfo* This, TYPEATTR* attr) {
    (void)This;
    free(attr);
}
static void TiReleaseFuncDesc(ITypeInfo* This, FUNCDESC* desc) {
    (void)This;
    free(desc);
}

static const ITypeInfoVtbl kTypeInfoTable = {
    TiQueryInterface, TiAddRef,        TiRelease,          TiGetTypeAttr,     TiGetFuncDesc,
    TiGetNames,       TiGetIDsOfNames, TiGetDocumentation, TiReleaseTypeAttr, TiReleaseFuncDesc,
};
static ITypeInfo g_typeInfo = {&kTypeInfoTable};

/* --- IDispatch (one static object) --------------------------------------- */

static int g_greetings = 0;

static HRESULT DQueryInterface(IDispatch* This, REFIID riid, void** ppv) {
    if (!SameIid(riid, &IID_IDispatch) && !SameIid(riid, &IID_IUnknown)) {
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    *ppv = This;
    return S_OK;
}
static ULONG DAddRef(IDispatch* This) {
    (void)This;
    return 1;
}
static ULONG DRelease(IDispatch* This) {
    (void)This;
    return 1;
}
static HRESULT DGetTypeInfoCount(IDispatch* This, UINT* count) {
    (void)This;
    *count = 1;
    return S_OK;
}
static HRESULT DGetTypeInfo(IDispatch* This, UINT index, LCID lcid, ITypeInfo** info) {
    (void)This, (void)lcid;
    if (index != 0) return DISP_E_BADINDEX;
    *info = &g_typeInfo;
    return S_OK;
}
static HRESULT DGetIDsOfNames(IDispatch* This, REFIID riid, LPOLESTR* names, UINT count,
                              LCID lcid, DISPID* ids) {
    (void)This, (void)riid, (void)lcid;
    if (count != 1) return DISP_E_UNKNOWNNAME;
    for (unsigned i = 0; i < kMemberCount; ++i)
        if (SameName(names[0], kMembers[i].names[0])) {
            ids[0] = kMembers[i].id;
            return S_OK;
        }
    ids[0] = -1;
    return DISP_E_UNKNOWNNAME;
}
static HRESULT DInvoke(IDispatch* This, DISPID id, REFIID riid, LCID lcid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    (void)This, (void)riid, (void)lcid, (void)flags, (void)excepInfo;
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    VARIANT* arg = &params->rgvarg[0];
    if (argErr != NULL) *argErr = 0;
    memset(result, 0, sizeof *result);
    char text[32];
    switch (id) {
    case 1:
        if (arg->vt != VT_I2) return DISP_E_TYPEMISMATCH;
        result->vt = VT_I2;
        result->iVal = (int16_t)(2 * arg->iVal);
        return S_OK;
    case 2:
        if (arg->vt != (VT_BSTR | VT_BYREF)) return DISP_E_TYPEMISMATCH;
        snprintf(text, sizeof text, "hi %d", ++g_greetings);
        *arg->pbstrVal = StringOf(text);
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
        return S_OK;
    case 5:
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

static const IDispatchVtbl kDispatchTable = {
    DQueryInterface, DAddRef, DRelease, DGetTypeInfoCount, DGetTypeInfo, DGetIDsOfNames, DInvoke,
};
static IDispatch g_dispatch = {&kDispatchTable};

/* --- IClassFactory ------------------------------------------------------- */

static HRESULT FQueryInterface(IClassFactory* This, REFIID riid, void** ppv) {
    (void)riid;
    *ppv = This;
    return S_OK;
}
static ULONG FAddRef(IClassFactory* This) {
    (void)This;
    return 1;
}
static ULONG FRelease(IClassFactory* This) {
    (void)This;
    return 1;
}
static HRESULT FCreateInstance(IClassFactory* This, IUnknown* outer, REFIID riid, void** ppv) {
    (void)This;
    if (outer != NULL) return CLASS_E_NOAGGREGATION;
    return DQueryInterface(&g_dispatch, riid, ppv);
}
static HRESULT FLockServer(IClassFactory* This, BOOL lock) {
    (void)This, (void)lock;
    return S_OK;
}

static const IClassFactoryVtbl kFactoryTable = {
    FQueryInterface, FAddRef, FRelease, FCreateInstance, FLockServer,
};
static IClassFactory g_factory = {&kFactoryTable};

PALVEX_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    (void)riid;
    if (!SameIid(clsid, &CLSID_Palvex)) {
        *ppv = NULL;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    *ppv = &g_factory;
    return S_OK;
}

/* Its objects are static: it may stay loaded. */
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
    if (s != NULL) free((unsigned char*)s - 4);
}
PALVEX_API unsigned int PalvexSysStringLen(BSTR s) {
    if (s == NULL) return 0;
    uint32_t bytes = 0;
    memcpy(&bytes, (unsigned char*)s - 4, 4);
    return bytes / sizeof(OLECHAR);
}
