// The calls of cli/com_types.h through the module's C-style interfaces: a
// table of functions behind each interface pointer, and a reduced type
// information whose element descriptions carry the VARIANT type itself.
#include "cli/com_types.h"

#include "control/automation/com_support.h"

namespace palvex::cli::com {

HRESULT TypeInfoCount(IDispatch& control, unsigned& count) {
    return control.lpVtbl->GetTypeInfoCount(&control, &count);
}

HRESULT FirstTypeInfo(IDispatch& control, ITypeInfo*& info) {
    return control.lpVtbl->GetTypeInfo(&control, 0, 0, &info);
}

void Release(ITypeInfo& info) {
    info.lpVtbl->Release(&info);
}

HRESULT GetTypeAttr(ITypeInfo& info, TYPEATTR*& attr) {
    return info.lpVtbl->GetTypeAttr(&info, &attr);
}

void ReleaseTypeAttr(ITypeInfo& info, TYPEATTR* attr) {
    info.lpVtbl->ReleaseTypeAttr(&info, attr);
}

HRESULT GetFuncDesc(ITypeInfo& info, unsigned index, FUNCDESC*& desc) {
    return info.lpVtbl->GetFuncDesc(&info, index, &desc);
}

void ReleaseFuncDesc(ITypeInfo& info, FUNCDESC* desc) {
    info.lpVtbl->ReleaseFuncDesc(&info, desc);
}

HRESULT GetNames(ITypeInfo& info, MEMBERID id, BSTR* names, unsigned maxNames, unsigned& got) {
    return info.lpVtbl->GetNames(&info, id, names, maxNames, &got);
}

VARTYPE TypeOf(const ELEMDESC& element) {
    return element.vt;
}

bool Restricted(const FUNCDESC&) {
    return false; // the reduced type information describes the methods only
}

HRESULT IdOfName(IDispatch& control, std::string_view name, DISPID& id) {
    return palvex::IdOfName(&control, name, &id);
}

HRESULT Invoke(IDispatch& control, DISPID id, DISPPARAMS& params, VARIANT& result,
               unsigned& argErr) {
    return control.lpVtbl->Invoke(&control, id, &IID_NULL, 0, DISPATCH_METHOD, &params, &result,
                                  nullptr, &argErr);
}

std::string LastLinkError(IDispatch& control) {
    IPalvexDiagnostics* d = nullptr;
    if (FAILED(control.lpVtbl->QueryInterface(&control, &IID_IPalvexDiagnostics,
                                              reinterpret_cast<void**>(&d))) ||
        d == nullptr)
        return {};
    std::string text;
    ULONG length = 0;
    HRESULT hr = d->lpVtbl->GetLastLinkError(d, nullptr, 0, &length);
    if ((SUCCEEDED(hr) || hr == E_NOT_SUFFICIENT_BUFFER) && length > 0) {
        text.resize(std::size_t{length} + 1);
        hr = d->lpVtbl->GetLastLinkError(d, text.data(), length + 1, &length);
        text.resize(SUCCEEDED(hr) ? length : 0);
    }
    d->lpVtbl->Release(d);
    return text;
}

std::string HresultMessage(HRESULT hr) {
    return palvex::HresultMessage(hr);
}

} // namespace palvex::cli::com
