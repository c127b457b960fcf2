// The calls of cli/com_types.h through the system's COM interfaces and the
// real type information of the module's type library, where a by-reference
// parameter is a pointer type (VT_PTR) to the type it points at.
#include "cli/com_types.h"

#include "control/automation/hresult_text.h"
#include "control/host/com_control_win32.h"

namespace palvex::cli::com {

HRESULT TypeInfoCount(IDispatch& control, unsigned& count) {
    UINT n = 0;
    const HRESULT hr = control.GetTypeInfoCount(&n);
    count = n;
    return hr;
}

HRESULT FirstTypeInfo(IDispatch& control, ITypeInfo*& info) {
    return control.GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
}

void Release(ITypeInfo& info) {
    info.Release();
}

HRESULT GetTypeAttr(ITypeInfo& info, TYPEATTR*& attr) {
    return info.GetTypeAttr(&attr);
}

void ReleaseTypeAttr(ITypeInfo& info, TYPEATTR* attr) {
    info.ReleaseTypeAttr(attr);
}

HRESULT GetFuncDesc(ITypeInfo& info, unsigned index, FUNCDESC*& desc) {
    return info.GetFuncDesc(index, &desc);
}

void ReleaseFuncDesc(ITypeInfo& info, FUNCDESC* desc) {
    info.ReleaseFuncDesc(desc);
}

HRESULT GetNames(ITypeInfo& info, MEMBERID id, BSTR* names, unsigned maxNames, unsigned& got) {
    UINT n = 0;
    const HRESULT hr = info.GetNames(id, names, maxNames, &n);
    got = n;
    return hr;
}

VARTYPE TypeOf(const ELEMDESC& element) {
    const TYPEDESC& t = element.tdesc;
    if (t.vt == VT_PTR && t.lptdesc != nullptr) return t.lptdesc->vt | VT_BYREF;
    return t.vt;
}

bool Restricted(const FUNCDESC& desc) {
    return (desc.wFuncFlags & FUNCFLAG_FRESTRICTED) != 0;
}

HRESULT IdOfName(IDispatch& control, std::string_view name, DISPID& id) {
    std::wstring wide(name.begin(), name.end());
    LPOLESTR names[] = {wide.data()};
    return control.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
}

HRESULT Invoke(IDispatch& control, DISPID id, DISPPARAMS& params, VARIANT& result,
               unsigned& argErr) {
    UINT err = 0;
    const HRESULT hr = control.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      &result, nullptr, &err);
    argErr = err;
    return hr;
}

std::string LastLinkError(IDispatch& control) {
    return host::LastLinkError(control);
}

std::string HresultMessage(HRESULT hr) {
    return palvex::HresultMessage(static_cast<std::int32_t>(hr));
}

} // namespace palvex::cli::com
