// The conversions of the dispatch layer through oleaut32, so that the
// control takes what every Automation host passes, converted by the rules
// the hosts themselves convert by.
#include "control/automation/variant_convert.h"

namespace palvex {

HRESULT ChangeToInteger(const VARIANT& v, LCID lcid, std::int64_t& out) {
    VARIANT result;
    VariantInit(&result);
    // The source stays the caller's; the call only reads it (and follows a
    // reference).
    const HRESULT hr =
        VariantChangeTypeEx(&result, const_cast<VARIANT*>(&v), lcid, 0, VT_I8);
    if (FAILED(hr)) return hr;
    out = result.llVal;
    return S_OK;
}

HRESULT AccessShortArray(const VARIANT& v, ShortArrayView& view) {
    view = {};
    const VARIANT* held = &v;
    if (held->vt == (VT_BYREF | VT_VARIANT)) {
        if (held->pvarVal == nullptr) return DISP_E_TYPEMISMATCH;
        held = held->pvarVal;
    }
    if ((held->vt & VT_ARRAY) == 0) return S_FALSE;
    SAFEARRAY* array = nullptr;
    if (held->vt == (VT_ARRAY | VT_I2))
        array = held->parray;
    else if (held->vt == (VT_BYREF | VT_ARRAY | VT_I2) && held->pparray != nullptr)
        array = *held->pparray;
    else
        return DISP_E_TYPEMISMATCH;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != 2)
        return DISP_E_TYPEMISMATCH;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return DISP_E_TYPEMISMATCH;
    view.data = static_cast<std::int16_t*>(data);
    view.count = array->rgsabound[0].cElements;
    view.array = array;
    return S_OK;
}

void ReleaseShortArray(ShortArrayView& view) {
    if (view.array != nullptr) SafeArrayUnaccessData(static_cast<SAFEARRAY*>(view.array));
    view = {};
}

} // namespace palvex
