/* The binary interface of the Palvex control module (libpalvex.so), for hosts
 * written in C or C++ and built separately from the module.
 *
 * The module is an in-process component server. A host loads it (dlopen),
 * asks DllGetClassObject for the class factory of CLSID_Palvex, creates the
 * control through IClassFactory::CreateInstance and calls it through
 * IDispatch: GetIDsOfNames for a method's identifier, Invoke to call it.
 *
 Each interface is declared once (palvex_interface.h): in C++ as an abstract
 * class, in C as a struct whose only member points at a table of function
 * pointers that take the interface pointer first ("This"); both are the
 * same binary layout. Reference counting follows the automation rules: an
 * interface pointer handed out (QueryInterface, CreateInstance,
 * DllGetClassObject, GetTypeInfo) carries one reference that the receiver
 * gives back with Release. Strings (BSTR) that the module hands out are
 * freed with PalvexSysFreeString.
 *
 * Besides the three standard interfaces the control offers:
 *   - IPersistStreamInit over an ISequentialStream: what a host saves with
 *     its document (the version stamp, major 1 minor 0: bytes 00 00 01 00);
 *   - IPalvexControl: the design-time picture, the status flags, the type
 *     name and the property page;
 *   - IPalvexDiagnostics: the frame trace and why the link last failed;
 * and GetTypeInfo serves a reduced ITypeInfo (see below). The property page
 * class offers IPalvexPropertyPage.
 */
#ifndef PALVEX_COM_H
#define PALVEX_COM_H

#include <stddef.h>
#include <stdint.h>

#include "palvex_guids.h"
#include "palvex_trace.h"

#ifdef __cplusplus
#define PALVEX_EXTERN_C extern "C"
#else
#define PALVEX_EXTERN_C
#endif
/* Functions the module exports. */
#define PALVEX_API PALVEX_EXTERN_C __attribute__((visibility("default")))

/* ------------------------------------------------------------------------ */
/* Basic types */

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef int32_t DISPID;
typedef int32_t MEMBERID;
typedef uint32_t LCID;
#ifdef __cplusplus
typedef char16_t OLECHAR;
#else
typedef uint16_t OLECHAR;
#endif
/* A string: a 4-byte length in bytes, then the UTF-16 characters and a zero
 * character; the handle points at the first character. */
typedef OLECHAR* BSTR;
typedef OLECHAR* LPOLESTR;

/* Identifier arguments are passed by address: in C as a pointer, in C++ as
 * a reference, which is the same on the call. */
#ifdef __cplusplus
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
#else
typedef const GUID* REFGUID;
typedef const IID* REFIID;
typedef const CLSID* REFCLSID;
#endif

/* 64 bits, as a number or as its two halves. */
typedef union ULARGE_INTEGER {
    struct {
        uint32_t LowPart;
        uint32_t HighPart;
    } u;
    uint64_t QuadPart;
} ULARGE_INTEGER;

/* The convention of the interfaces' functions: the system's only one. */
#define PALVEX_CALL
#ifdef __cplusplus
#define STDMETHODCALLTYPE
#endif
#include "palvex_interface.h"

static const VARIANT_BOOL VARIANT_TRUE = -1;
static const VARIANT_BOOL VARIANT_FALSE = 0;

/* Result codes */
static const HRESULT S_OK = 0;
static const HRESULT S_FALSE = 1;
static const HRESULT E_NOTIMPL = (HRESULT)0x80004001u;
static const HRESULT E_NOINTERFACE = (HRESULT)0x80004002u;
static const HRESULT E_POINTER = (HRESULT)0x80004003u;
static const HRESULT E_FAIL = (HRESULT)0x80004005u;
static const HRESULT E_UNEXPECTED = (HRESULT)0x8000FFFFu;
static const HRESULT E_OUTOFMEMORY = (HRESULT)0x8007000Eu;
static const HRESULT E_INVALIDARG = (HRESULT)0x80070057u;
static const HRESULT E_NOT_SUFFICIENT_BUFFER = (HRESULT)0x8007007Au;
static const HRESULT DISP_E_UNKNOWNINTERFACE = (HRESULT)0x80020001u;
static const HRESULT DISP_E_MEMBERNOTFOUND = (HRESULT)0x80020003u;
static const HRESULT DISP_E_PARAMNOTFOUND = (HRESULT)0x80020004u;
static const HRESULT DISP_E_TYPEMISMATCH = (HRESULT)0x80020005u;
static const HRESULT DISP_E_UNKNOWNNAME = (HRESULT)0x80020006u;
static const HRESULT DISP_E_NONAMEDARGS = (HRESULT)0x80020007u;
static const HRESULT DISP_E_BADVARTYPE = (HRESULT)0x80020008u;
static const HRESULT DISP_E_OVERFLOW = (HRESULT)0x8002000Au;
static const HRESULT DISP_E_BADINDEX = (HRESULT)0x8002000Bu;
static const HRESULT DISP_E_BADPARAMCOUNT = (HRESULT)0x8002000Eu;
static const HRESULT DISP_E_PARAMNOTOPTIONAL = (HRESULT)0x8002000Fu;
static const HRESULT TYPE_E_ELEMENTNOTFOUND = (HRESULT)0x8002802Bu;
static const HRESULT STG_E_WRITEFAULT = (HRESULT)0x8003001Du;
static const HRESULT STG_E_READFAULT = (HRESULT)0x8003001Eu;
static const HRESULT CLASS_E_NOAGGREGATION = (HRESULT)0x80040110u;
static const HRESULT CLASS_E_CLASSNOTAVAILABLE = (HRESULT)0x80040111u;
/* DllRegisterServer and DllUnregisterServer */
static const HRESULT SELFREG_E_TYPELIB = (HRESULT)0x80040200u;
static const HRESULT SELFREG_E_CLASS = (HRESULT)0x80040201u;

#ifdef __cplusplus
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
#else
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#endif

/* Variant types. VT_ADDR is the integer type of the address parameters (the
 * "lp..." ones): as wide as a pointer. */
enum {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_BYREF = 0x4000,
#if UINTPTR_MAX > 0xFFFFFFFFu
    VT_ADDR = VT_I8
#else
    VT_ADDR = VT_I4
#endif
};

/* A currency amount: the value times 10,000, as a 64-bit integer. */
typedef union CY {
    int64_t int64;
} CY;

/* 16 bytes: the type, three reserved words, the value. */
typedef struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1, wReserved2, wReserved3;
    union {
        int8_t cVal;
        uint8_t bVal;
        int16_t iVal;
        uint16_t uiVal;
        int32_t lVal;
        uint32_t ulVal;
        int64_t llVal;
        uint64_t ullVal;
        int intVal;
        unsigned int uintVal;
        float fltVal;
        double dblVal;
        CY cyVal;
        VARIANT_BOOL boolVal;
        BSTR bstrVal;
        int16_t* piVal;
        BSTR* pbstrVal;
        struct VARIANT* pvarVal; /* VT_BYREF|VT_VARIANT: a script's variable */
        void* byref;
    };
} VARIANT;

static const uint16_t DISPATCH_METHOD = 0x1;
static const uint16_t DISPATCH_PROPERTYGET = 0x2;

typedef struct DISPPARAMS {
    VARIANT* rgvarg; /* arguments, last one first */
    DISPID* rgdispidNamedArgs;
    unsigned int cArgs;
    unsigned int cNamedArgs;
} DISPPARAMS;

typedef struct EXCEPINFO {
    uint16_t wCode;
    uint16_t wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    uint32_t dwHelpContext;
    void* pvReserved;
    void* pfnDeferredFillIn;
    HRESULT scode;
} EXCEPINFO;

/* ------------------------------------------------------------------------ */
/* Standard interface identifiers */

static const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
static const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
static const IID IID_IPersistStreamInit = {
    0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};

/* Interfaces of this module only (their method sets are its own). */
static const IID IID_IPalvexTypeInfo = {
    0xB7665FA1, 0x1A41, 0x49F7, {0xB0, 0x51, 0xE7, 0xD5, 0x59, 0x58, 0x55, 0x34}};
static const IID IID_IPalvexControl = {
    0xB1297DEA, 0xB3DD, 0x4CF2, {0xAD, 0xBC, 0x22, 0xD3, 0x5F, 0x7A, 0xAB, 0x31}};
static const IID IID_IPalvexPropertyPage = {
    0x8BD5DEB8, 0x5393, 0x46C0, {0xAA, 0x7A, 0xDE, 0xD0, 0xBC, 0x5D, 0x33, 0xF3}};

/* ------------------------------------------------------------------------ */
/* IUnknown */

#undef PALVEX_SELF
#define PALVEX_SELF IUnknown
PALVEX_INTERFACE(IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
};

/* IClassFactory */

#undef PALVEX_SELF
#define PALVEX_SELF IClassFactory
PALVEX_INTERFACE_(IClassFactory, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    /* outer must be null: the classes cannot be aggregated. */
    PALVEX_METHOD(CreateInstance)(PALVEX_THIS_ IUnknown* outer, REFIID riid, void** ppv)
        PALVEX_PURE;
    PALVEX_METHOD(LockServer)(PALVEX_THIS_ BOOL lock) PALVEX_PURE;
};

/* ------------------------------------------------------------------------ */
/* Reduced type information: what a host needs to list the methods of
 * _DPalvex with their identifiers, parameter names and types and results.
 * TYPEATTR and FUNCDESC point into the module's own storage and stay valid
 * until released (the Release functions free nothing the host must know
 * about); names and help texts are new strings for the caller to free. */

typedef enum TYPEKIND { TKIND_DISPATCH = 4, TKIND_COCLASS = 5 } TYPEKIND;
typedef enum FUNCKIND { FUNC_DISPATCH = 4 } FUNCKIND;
typedef enum INVOKEKIND { INVOKE_FUNC = 1 } INVOKEKIND;

static const uint16_t TYPEFLAG_FHIDDEN = 0x10;
static const uint16_t TYPEFLAG_FDISPATCHABLE = 0x1000;
static const MEMBERID MEMBERID_NIL = -1;

typedef struct TYPEATTR {
    GUID guid;
    LCID lcid;
    int32_t typekind;    /* TYPEKIND */
    uint16_t cFuncs;     /* methods */
    uint16_t cVars;      /* properties: none */
    uint16_t cImplTypes; /* implemented interfaces: none for a dispinterface */
    uint16_t wTypeFlags; /* TYPEFLAG_* */
    uint16_t wMajorVerNum;
    uint16_t wMinorVerNum;
} TYPEATTR;

/* A parameter or result: its variant type (VT_I2, VT_ADDR, VT_I2|VT_BYREF,
 * VT_BSTR|VT_BYREF, VT_BOOL, VT_VOID). */
typedef struct ELEMDESC {
    VARTYPE vt;
    uint16_t wParamFlags;
} ELEMDESC;

typedef struct FUNCDESC {
    MEMBERID memid;   /* the dispatch identifier */
    int32_t funckind; /* FUNC_DISPATCH */
    int32_t invkind;  /* INVOKE_FUNC: every member is a method */
    int16_t cParams;
    int16_t cParamsOpt;                /* 0: no parameter is optional */
    const ELEMDESC* lprgelemdescParam; /* cParams entries, in call order */
    ELEMDESC elemdescFunc;             /* the result */
    uint16_t wFuncFlags;
} FUNCDESC;

#undef PALVEX_SELF
#define PALVEX_SELF ITypeInfo
PALVEX_INTERFACE_(ITypeInfo, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    PALVEX_METHOD(GetTypeAttr)(PALVEX_THIS_ TYPEATTR** attr) PALVEX_PURE;
    /* index 0 .. cFuncs-1, in identifier order; TYPE_E_ELEMENTNOTFOUND past it */
    PALVEX_METHOD(GetFuncDesc)(PALVEX_THIS_ UINT index, FUNCDESC** desc) PALVEX_PURE;
    /* The method's name, then its parameters' names, at most maxNames. */
    PALVEX_METHOD(GetNames)
    (PALVEX_THIS_ MEMBERID memid, BSTR* names, UINT maxNames, UINT* count) PALVEX_PURE;
    PALVEX_METHOD(GetIDsOfNames)(PALVEX_THIS_ LPOLESTR* names, UINT count, MEMBERID* ids)
        PALVEX_PURE;
    /* MEMBERID_NIL: the interface itself. Any output pointer may be null. */
    PALVEX_METHOD(GetDocumentation)
    (PALVEX_THIS_ MEMBERID memid, BSTR* name, BSTR* docString, DWORD* helpContext,
     BSTR* helpFile) PALVEX_PURE;
    PALVEX_METHOD_(void, ReleaseTypeAttr)(PALVEX_THIS_ TYPEATTR* attr) PALVEX_PURE;
    PALVEX_METHOD_(void, ReleaseFuncDesc)(PALVEX_THIS_ FUNCDESC* desc) PALVEX_PURE;
};

/* IDispatch */

#undef PALVEX_SELF
#define PALVEX_SELF IDispatch
PALVEX_INTERFACE_(IDispatch, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    PALVEX_METHOD(GetTypeInfoCount)(PALVEX_THIS_ UINT* count) PALVEX_PURE;
    PALVEX_METHOD(GetTypeInfo)(PALVEX_THIS_ UINT index, LCID lcid, ITypeInfo** info) PALVEX_PURE;
    /* riid: IID_NULL */
    PALVEX_METHOD(GetIDsOfNames)
    (PALVEX_THIS_ REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) PALVEX_PURE;
    PALVEX_METHOD(Invoke)
    (PALVEX_THIS_ DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) PALVEX_PURE;
};

/* ------------------------------------------------------------------------ */
/* Persistence. The host gives a stream; a full IStream begins with the same
 * functions and may be passed where an ISequentialStream is asked for. */

#undef PALVEX_SELF
#define PALVEX_SELF ISequentialStream
PALVEX_INTERFACE_(ISequentialStream, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    /* S_OK, or S_FALSE when fewer than cb bytes were left. */
    PALVEX_METHOD(Read)(PALVEX_THIS_ void* pv, ULONG cb, ULONG* read) PALVEX_PURE;
    PALVEX_METHOD(Write)(PALVEX_THIS_ const void* pv, ULONG cb, ULONG* written) PALVEX_PURE;
};

/* The stream IPersistStreamInit reads and writes. */
typedef ISequentialStream* LPSTREAM;

#undef PALVEX_SELF
#define PALVEX_SELF IPersistStreamInit
PALVEX_INTERFACE_(IPersistStreamInit, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    PALVEX_METHOD(GetClassID)(PALVEX_THIS_ CLSID* clsid) PALVEX_PURE;
    PALVEX_METHOD(IsDirty)(PALVEX_THIS) PALVEX_PURE;
    PALVEX_METHOD(Load)(PALVEX_THIS_ LPSTREAM stream) PALVEX_PURE;
    PALVEX_METHOD(Save)(PALVEX_THIS_ LPSTREAM stream, BOOL clearDirty) PALVEX_PURE;
    PALVEX_METHOD(GetSizeMax)(PALVEX_THIS_ ULARGE_INTEGER* size) PALVEX_PURE;
    PALVEX_METHOD(InitNew)(PALVEX_THIS) PALVEX_PURE;
};

/* ------------------------------------------------------------------------ */
/* The control's picture and its facts for a container. */

typedef struct RECTL {
    int32_t left, top, right, bottom; /* right and bottom lie outside */
} RECTL;

typedef struct PALVEX_RGBA {
    uint8_t r, g, b, a;
} PALVEX_RGBA;

/* An image the host owns: 4 bytes per pixel in the order R, G, B, A, rows
 * `stride` bytes apart. pen and brush play the device context's current pen
 * and brush (a fresh one has a black pen and a white brush). */
typedef struct PALVEX_CANVAS {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
    PALVEX_RGBA pen;
    PALVEX_RGBA brush;
} PALVEX_CANVAS;

/* The content aspect, the one that has the control's status flags
 * (OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
 * OLEMISC_INVISIBLEATRUNTIME | OLEMISC_SETCLIENTSITEFIRST). */
#define PALVEX_DVASPECT_CONTENT 1u

#undef PALVEX_SELF
#define PALVEX_SELF IPalvexControl
PALVEX_INTERFACE_(IPalvexControl, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    /* Paints the design-time picture: the bounds filled white, an ellipse
     * inscribed in them drawn with the canvas's pen and brush. Only pixels
     * inside the canvas and inside `invalid` (null: everywhere) change. */
    PALVEX_METHOD(Draw)
    (PALVEX_THIS_ const PALVEX_CANVAS* canvas, const RECTL* bounds, const RECTL* invalid)
        PALVEX_PURE;
    PALVEX_METHOD(GetMiscStatus)(PALVEX_THIS_ DWORD aspect, DWORD* status) PALVEX_PURE;
    /* "Palvex Control"; the text belongs to the module. */
    PALVEX_METHOD(GetUserTypeName)(PALVEX_THIS_ const char** name) PALVEX_PURE;
    /* The class identifiers of the control's property pages (one). *count
     * receives how many there are, also when capacity is too small
     * (E_NOT_SUFFICIENT_BUFFER). */
    PALVEX_METHOD(GetPropPageIDs)(PALVEX_THIS_ CLSID* pages, ULONG capacity, ULONG* count)
        PALVEX_PURE;
};

/* ------------------------------------------------------------------------ */
/* Diagnostics: what travels on the link and why it failed. */

#include "palvex_diagnostics.h"

/* ------------------------------------------------------------------------ */
/* The property page. Its texts belong to the module. */

typedef struct PALVEX_DIALOG_ITEM {
    int32_t id;       /* -1: a static item */
    const char* kind; /* "STATIC" */
    const char* text;
    int16_t x, y, cx, cy; /* dialog units */
} PALVEX_DIALOG_ITEM;

typedef struct PALVEX_DIALOG {
    int32_t id;          /* template 200 */
    const char* caption; /* "General" (string 200) */
    const char* fontName;
    int16_t pointSize;
    int16_t cx, cy; /* dialog units */
    uint32_t itemCount;
    const PALVEX_DIALOG_ITEM* items;
} PALVEX_DIALOG;

typedef struct PALVEX_PAGEINFO {
    const char* title;     /* the page's caption */
    int32_t cx, cy;        /* size in dialog units */
    const char* docString; /* null: none */
    const char* helpFile;  /* null: none */
    DWORD helpContext;
} PALVEX_PAGEINFO;

#undef PALVEX_SELF
#define PALVEX_SELF IPalvexPropertyPage
PALVEX_INTERFACE_(IPalvexPropertyPage, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    PALVEX_METHOD(GetPageInfo)(PALVEX_THIS_ PALVEX_PAGEINFO* info) PALVEX_PURE;
    PALVEX_METHOD(GetDialog)(PALVEX_THIS_ const PALVEX_DIALOG** dialog) PALVEX_PURE;
    /* The objects the page edits; the page holds a reference to each until
     * the next call (count 0 lets them go). */
    PALVEX_METHOD(SetObjects)(PALVEX_THIS_ ULONG count, IUnknown** objects) PALVEX_PURE;
    /* S_FALSE: nothing to apply. */
    PALVEX_METHOD(IsPageDirty)(PALVEX_THIS) PALVEX_PURE;
    PALVEX_METHOD(Apply)(PALVEX_THIS) PALVEX_PURE;
};

/* ------------------------------------------------------------------------ */
/* The module's entry points */

PALVEX_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
/* S_OK when no object, factory reference or server lock is alive. */
PALVEX_API HRESULT DllCanUnloadNow(void);
/* Registers the type library, then both classes, in the per-user store.
 * SELFREG_E_TYPELIB: nothing was registered; SELFREG_E_CLASS: the classes
 * are not registered, the type library is. */
PALVEX_API HRESULT DllRegisterServer(void);
/* Removes the same entries in the same order, with the same codes. */
PALVEX_API HRESULT DllUnregisterServer(void);

/* Strings that cross the interface. */
PALVEX_API BSTR PalvexSysAllocStringLen(const OLECHAR* s, unsigned int len);
PALVEX_API void PalvexSysFreeString(BSTR s);
PALVEX_API unsigned int PalvexSysStringLen(BSTR s);

/* Types of the entry points, for dlsym. */
typedef HRESULT (*PFN_DLLGETCLASSOBJECT)(REFCLSID, REFIID, void**);
typedef HRESULT (*PFN_DLLCANUNLOADNOW)(void);
typedef HRESULT (*PFN_DLLREGISTERSERVER)(void);
typedef HRESULT (*PFN_DLLUNREGISTERSERVER)(void);
typedef void (*PFN_PALVEXSYSFREESTRING)(BSTR);

#endif /* PALVEX_COM_H */
