#include "control/automation/dispatch_table.h"

#include "control/automation/variant_convert.h"

#include "control/link/palvex_ctrl.h"
#include "control/palvex_facts.h"

#include <array>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace palvex {

// Not constexpr and never defined: an entry whose construction reaches one of
// these does not compile, and the error names the reason.
namespace table_errors {
void TooManyParametersForOneEntry();
void DeclaredParameterCountDiffersFromMemberFunction();
void DeclaredParameterTypeDiffersFromMemberFunction();
void DeclaredResultTypeDiffersFromMemberFunction();
} // namespace table_errors

namespace {

// ---------------------------------------------------------------------------
// Building entries: Method<&CPalvexCtrl::Name>(id, "Name", {params}, result)
// makes an entry whose invoker calls the member function. The compiler
// refuses an entry whose parameter list or result type differs from the
// member function's signature.

template <class T> constexpr VARTYPE ParamVarType() {
    if constexpr (std::is_same_v<T, short>)
        return VT_I2;
    else if constexpr (std::is_same_v<T, LONG_PTR>)
        return VT_ADDR;
    else if constexpr (std::is_same_v<T, std::int32_t>)
        return VT_I4;
    else if constexpr (std::is_same_v<T, short*>)
        return VT_I2 | VT_BYREF;
    else if constexpr (std::is_same_v<T, BSTR*>)
        return VT_BSTR | VT_BYREF;
    else
        static_assert(sizeof(T) == 0, "parameter type the dispatch interface does not carry");
}

template <class R> constexpr VARTYPE ResultVarType() {
    if constexpr (std::is_void_v<R>)
        return VT_VOID;
    else if constexpr (std::is_same_v<R, short>)
        return VT_I2;
    else if constexpr (std::is_same_v<R, BOOL>)
        return VT_BOOL;
    else
        static_assert(sizeof(R) == 0, "result type the dispatch interface does not carry");
}

template <class F> struct MemberFunction;
template <class C, class R, class... A> struct MemberFunction<R (C::*)(A...)> {
    using Result = R;
    using Args = std::tuple<A...>;
};
template <class C, class R, class... A>
struct MemberFunction<R (C::*)(A...) noexcept> : MemberFunction<R (C::*)(A...)> {};
// A function of this layer that takes the control first, for a method whose
// automation form the control itself does not have.
template <class R, class... A> struct MemberFunction<R (*)(CPalvexCtrl&, A...)> {
    using Result = R;
    using Args = std::tuple<A...>;
};

template <class T> T ArgAs(const DispatchArg& a) {
    if constexpr (std::is_pointer_v<T>)
        return static_cast<T>(a.ref);
    else
        return static_cast<T>(a.value);
}

template <auto Fn, std::size_t... I>
void CallMemberWith(CPalvexCtrl& ctrl, [[maybe_unused]] const DispatchArg* args, VARIANT* result,
                    std::index_sequence<I...>) {
    using Traits = MemberFunction<decltype(Fn)>;
    using R = typename Traits::Result;
    using Args = typename Traits::Args;
    if constexpr (std::is_void_v<R>) {
        std::invoke(Fn, ctrl, ArgAs<std::tuple_element_t<I, Args>>(args[I])...);
        result->vt = VT_EMPTY;
    } else if constexpr (std::is_same_v<R, short>) {
        const short r = std::invoke(Fn, ctrl, ArgAs<std::tuple_element_t<I, Args>>(args[I])...);
        result->vt = VT_I2;
        result->iVal = r;
    } else {
        const BOOL r = std::invoke(Fn, ctrl, ArgAs<std::tuple_element_t<I, Args>>(args[I])...);
        result->vt = VT_BOOL;
        result->boolVal = r ? VARIANT_TRUE : VARIANT_FALSE;
    }
}

template <auto Fn> void CallMember(CPalvexCtrl& ctrl, const DispatchArg* args, VARIANT* result) {
    using Args = typename MemberFunction<decltype(Fn)>::Args;
    CallMemberWith<Fn>(ctrl, args, result, std::make_index_sequence<std::tuple_size_v<Args>>{});
}

// The VARTYPEs of a parameter list, one spare element so the array is never
// empty.
template <class Args, std::size_t... I>
constexpr std::array<VARTYPE, sizeof...(I) + 1> ParamVarTypes(std::index_sequence<I...>) {
    return {ParamVarType<std::tuple_element_t<I, Args>>()..., VT_EMPTY};
}

template <auto Fn>
consteval DispatchEntry Method(DISPID id, const char* name,
                               std::initializer_list<DispatchParam> params, VARTYPE result) {
    using namespace table_errors;
    using Traits = MemberFunction<decltype(Fn)>;
    using Args = typename Traits::Args;
    constexpr std::size_t n = std::tuple_size_v<Args>;
    if (n > kMaxDispatchParams) TooManyParametersForOneEntry();
    if (params.size() != n) DeclaredParameterCountDiffersFromMemberFunction();
    if (result != ResultVarType<typename Traits::Result>())
        DeclaredResultTypeDiffersFromMemberFunction();
    constexpr auto types = ParamVarTypes<Args>(std::make_index_sequence<n>{});

    DispatchEntry e{id, name, {}, n, result, &CallMember<Fn>};
    std::size_t i = 0;
    for (const DispatchParam& p : params) {
        if (p.vt != types[i]) DeclaredParameterTypeDiffersFromMemberFunction();
        e.params[i++] = p;
    }
    return e;
}

// The control hands the property text over as bytes; a host receives it as
// a new automation string, which it frees. The string the host's variable
// held goes (an in-out string belongs to the callee that replaces it). On
// failure the host's string is left as it was.
BOOL QKGetPropertyString(CPalvexCtrl& ctrl, BSTR* bStr) {
    if (bStr == nullptr) return FALSE;
    char text[CPalvexCtrl::kPropertyTextCapacity];
    if (!ctrl.QKGetProperty(text, sizeof text)) return FALSE;
    BSTR made = BstrFromBytes(text);
    if (made == nullptr) return FALSE;
    SysFreeString(std::exchange(*bStr, made));
    return TRUE;
}

// What the array methods write now.
std::size_t TestResultElements(const CPalvexCtrl& ctrl) {
    return ctrl.LedHeight() > 0 ? static_cast<std::size_t>(ctrl.LedHeight()) : 0;
}
std::size_t FrameElements(const CPalvexCtrl& ctrl) {
    return ctrl.LastFrameLength();
}

// A 16-bit parameter that carries an unsigned value.
constexpr DispatchParam Unsigned16(const char* name) {
    return {name, VT_I2, 1, nullptr, true};
}

constexpr VARTYPE I2 = VT_I2;
constexpr VARTYPE I4 = VT_I4;
constexpr VARTYPE ADDR = VT_ADDR;
constexpr VARTYPE I2_REF = VT_I2 | VT_BYREF;
constexpr VARTYPE BSTR_REF = VT_BSTR | VT_BYREF;

// ---------------------------------------------------------------------------
// The interface, in identifier order, with the identifiers of the card facts
// header. Identifier 32 is not used.

// clang-format off
constexpr DispatchEntry kEntries[] = {
    Method<&CPalvexCtrl::NetInitial>(dispid::NetInitial, "NetInitial",
        {Unsigned16("LocalPort"), {"RemoteIP", I4}, Unsigned16("RemotePort"), {"WaitTime", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::ComInitial>(dispid::ComInitial, "ComInitial",
        {{"ComPort", I2}, Unsigned16("BaudRate"), {"WaitTime", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::ModemInitial>(dispid::ModemInitial, "ModemInitial",
        {{"ModemPort", I2}, {"WaitTime", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::SetLedProperty>(dispid::SetLedProperty, "SetLedProperty",
        {{"LedNum", I2}, {"LedWidth", I2}, {"LedHeight", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::GetTotalPageNum>(dispid::GetTotalPageNum, "GetTotalPageNum", {}, VT_I2),
    Method<&CPalvexCtrl::GetSendStepNum>(dispid::GetSendStepNum, "GetSendStepNum", {}, VT_I2),
    Method<&CPalvexCtrl::SendPicture>(dispid::SendPicture, "SendPicture",
        {{"ProgNum", I2}, {"Step", I2}, {"lpBuff", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::SendProgList>(dispid::SendProgList, "SendProgList",
        {{"TotalProgNum", I2}, {"lpProgList", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::QKClose>(dispid::QKClose, "QKClose", {}, VT_VOID),
    Method<&CPalvexCtrl::SendModemCmd>(dispid::SendModemCmd, "SendModemCmd",
        {{"lpCmdStr", ADDR}, {"lpRetStr", ADDR}}, VT_BOOL),
    Method<&QKGetPropertyString>(dispid::QKGetProperty, "QKGetProperty", {{"bStr", BSTR_REF}}, VT_BOOL),
    Method<&CPalvexCtrl::SetTime>(dispid::SetTime, "SetTime", {}, VT_BOOL),
    Method<&CPalvexCtrl::LockHZLib>(dispid::LockHZLib, "LockHZLib", {{"LockFlag", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::SetBrightness>(dispid::SetBrightness, "SetBrightness", {{"Brightness", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::SendHZLib>(dispid::SendHZLib, "SendHZLib",
        {{"Steps", I2}, {"lpLibFileName", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::SetRelay>(dispid::SetRelay, "SetRelay",
        {{"Power", I2}, {"Fan", I2}, {"Other", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::SetCtrlTemperature>(dispid::SetCtrlTemperature, "SetCtrlTemperature",
        {{"TPowerOff", I2}, {"TPowerOn", I2}, {"TFanOn", I2}, {"TFanOff", I2}, {"Enable", I2}},
        VT_BOOL),
    Method<&CPalvexCtrl::SetTemperatureOffset>(dispid::SetTemperatureOffset, "SetTemperatureOffset", {{"Offset", I2}},
        VT_BOOL),
    Method<&CPalvexCtrl::StartTest>(dispid::StartTest, "StartTest", {}, VT_BOOL),
    Method<&CPalvexCtrl::GetTestState>(dispid::GetTestState, "GetTestState", {}, VT_I2),
    Method<&CPalvexCtrl::GetTestResult>(dispid::GetTestResult, "GetTestResult",
        {{"color", I2}, {"column", I2}, {"Resultx", I2_REF, card::kTestResultShorts, TestResultElements}}, VT_BOOL),
    Method<&CPalvexCtrl::GetPowerState>(dispid::GetPowerState, "GetPowerState",
        {{"Resultx", I2_REF, card::kPowerStateShorts}}, VT_BOOL),
    Method<&CPalvexCtrl::ShowString>(dispid::ShowString, "ShowString",
        {{"bank", I2}, {"xpos", I2}, {"ypos", I2}, {"color", I2}, {"lpstr", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::Line>(dispid::Line, "Line",
        {{"bank", I2}, {"left", I2}, {"top", I2}, {"right", I2}, {"bottom", I2}, {"color", I2}},
        VT_BOOL),
    Method<&CPalvexCtrl::SwitchToBank>(dispid::SwitchToBank, "SwitchToBank", {{"DestBank", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::ClearBank>(dispid::ClearBank, "ClearBank", {{"DestBank", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::CopyToBank>(dispid::CopyToBank, "CopyToBank", {{"DestBank", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::ClearPowerCheckResult>(dispid::ClearPowerCheckResult, "ClearPowerCheckResult", {}, VT_BOOL),
    Method<&CPalvexCtrl::GetAllResult>(dispid::GetAllResult, "GetAllResult",
        {{"lpPara", ADDR}, {"Retry", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::Reset>(dispid::Reset, "Reset", {}, VT_BOOL),
    Method<&CPalvexCtrl::GetVersion>(dispid::GetVersion, "GetVersion", {}, VT_I2),
    Method<&CPalvexCtrl::SetOnOffTime>(dispid::SetOnOffTime, "SetOnOffTime",
        {{"On0", I2}, {"Off0", I2}, {"On1", I2}, {"Off1", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::SetOrderList>(dispid::SetOrderList, "SetOrderList",
        {{"count", I2}, {"lptrList", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::SetCommTimeOut>(dispid::SetCommTimeOut, "SetCommTimeOut", {{"Seconds", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::GetTime>(dispid::GetTime, "GetTime", {{"lpBuff", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::QKSetup>(dispid::QKSetup, "QKSetup", {{"lpProperty", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::QKSetProperty>(dispid::QKSetProperty, "QKSetProperty", {{"lpProperty", ADDR}}, VT_BOOL),
    Method<&CPalvexCtrl::GetSendString>(dispid::GetSendString, "GetSendString",
        {{"lpCount", I2_REF}, {"lpRetBuff", I2_REF, card::kCapturedFrameShorts, FrameElements}}, VT_BOOL),
    Method<&CPalvexCtrl::SetSendFlag>(dispid::SetSendFlag, "SetSendFlag", {{"SendOrNot", I2}}, VT_VOID),
};
// clang-format on

// ---------------------------------------------------------------------------

template <class Char> constexpr Char FoldAscii(Char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<Char>(c - 'a' + 'A') : c;
}

// Automation names compare without regard to ASCII case.
template <class Char> constexpr bool SameName(const char* tableName, const Char* s, std::size_t n) {
    std::size_t i = 0;
    for (; i < n; ++i) {
        if (tableName[i] == '\0') return false;
        if (FoldAscii(static_cast<Char>(static_cast<unsigned char>(tableName[i]))) !=
            FoldAscii(s[i]))
            return false;
    }
    return tableName[i] == '\0';
}

constexpr std::size_t Length(const char* s) {
    std::size_t n = 0;
    while (s[n] != '\0')
        ++n;
    return n;
}

// Identifiers strictly ascending (so unique), names unique ignoring case,
// identifiers positive and 32 left unused.
constexpr bool TableIsWellFormed() {
    for (std::size_t i = 0; i < std::size(kEntries); ++i) {
        if (kEntries[i].id <= 0 || kEntries[i].id == 32) return false;
        if (i > 0 && kEntries[i - 1].id >= kEntries[i].id) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (SameName(kEntries[j].name, kEntries[i].name, Length(kEntries[i].name)))
                return false;
    }
    return true;
}
static_assert(TableIsWellFormed(), "dispatch identifiers must ascend and names must be unique");

// ---------------------------------------------------------------------------
// Argument conversion.

bool FitsParameter(std::int64_t value, const DispatchParam& p) {
    switch (p.vt) {
    case VT_I2:
        return value >= std::numeric_limits<std::int16_t>::min() &&
               value <= (p.unsigned16 ? std::numeric_limits<std::uint16_t>::max()
                                      : std::numeric_limits<std::int16_t>::max());
    case VT_I4:
        return value >= std::numeric_limits<std::int32_t>::min() &&
               value <= std::numeric_limits<std::int32_t>::max();
    case VT_I8:
        return true;
    default:
        return false;
    }
}

// A script's variable for a by-reference parameter of one element: the
// method writes the argument's cell, which starts with the variable's value
// (a string parameter starts with the variable's string, which the method
// may replace).
HRESULT ConvertVariantReference(const VARIANT& v, const DispatchParam& declared, DispatchArg& out) {
    VARIANT* inner = v.pvarVal;
    if (declared.elements != 1 || inner == nullptr || (inner->vt & VT_BYREF) != 0)
        return DISP_E_TYPEMISMATCH;
    out.variant = inner;
    if (declared.vt == (VT_BSTR | VT_BYREF)) {
        out.stringCell = inner->vt == VT_BSTR ? inner->bstrVal : nullptr;
        out.ref = &out.stringCell;
        return S_OK;
    }
    std::int64_t value = 0;
    if (const HRESULT hr = ChangeToInteger(*inner, 0, value); FAILED(hr)) return hr;
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max())
        return DISP_E_OVERFLOW;
    out.shortCell = static_cast<short>(value);
    out.ref = &out.shortCell;
    return S_OK;
}

HRESULT ConvertArgument(const VARIANT& v, const DispatchParam& param, LCID lcid,
                        DispatchArg& out) {
    const VARTYPE declared = param.vt;
    if ((declared & VT_BYREF) != 0) {
        if (param.elements > 1) {
            ShortArrayView array;
            const HRESULT hr = AccessShortArray(v, array);
            if (FAILED(hr)) return hr;
            if (hr == S_OK) {
                // The method writes the array's own elements; the access
                // ends after the call.
                out.ref = array.data;
                out.safeArray = array.array;
                out.arrayElements = array.count;
                return S_OK;
            }
        }
        if (v.vt == (VT_BYREF | VT_VARIANT)) return ConvertVariantReference(v, param, out);
        // A caller's storage is written through as the declared type, so
        // nothing else will do.
        if (v.vt != declared) return DISP_E_TYPEMISMATCH;
        out.ref = v.byref;
        return S_OK;
    }
    std::int64_t value = 0;
    if (const HRESULT hr = ChangeToInteger(v, lcid, value); FAILED(hr)) return hr;
    if (!FitsParameter(value, param)) return DISP_E_OVERFLOW;
    out.value = value;
    return S_OK;
}

// Ends what converting the argument began: the access to a safe array.
void ReleaseArgument(DispatchArg& arg) {
    if (arg.safeArray == nullptr) return;
    ShortArrayView view{static_cast<std::int16_t*>(arg.ref), arg.arrayElements, arg.safeArray};
    ReleaseShortArray(view);
    arg.safeArray = nullptr;
}

// After the call: a script's variable receives what the method wrote in its
// cell. A string goes over to the variable (the method freed the one it
// replaced); a string parameter the method left alone leaves the variable as
// it was.
void WriteBackToVariant(const DispatchParam& param, DispatchArg& arg) {
    if (arg.variant == nullptr) return;
    if (param.vt == (VT_BSTR | VT_BYREF)) {
        const bool heldString = arg.variant->vt == VT_BSTR;
        if (arg.stringCell == (heldString ? arg.variant->bstrVal : nullptr)) return;
        // A string the variable held is gone already; anything else it
        // held goes now.
        if (!heldString) VariantClear(arg.variant);
        arg.variant->vt = VT_BSTR;
        arg.variant->bstrVal = std::exchange(arg.stringCell, nullptr);
        return;
    }
    VariantClear(arg.variant);
    arg.variant->vt = VT_I2;
    arg.variant->iVal = arg.shortCell;
}

// Which element of rgvarg each parameter takes: positional arguments fill
// the first parameters (they come last-first after the named ones), named
// ones the parameters they name.
HRESULT PlaceArguments(const DISPPARAMS& params, const DispatchEntry& e, unsigned* sources,
                       unsigned* puArgErr) {
    const unsigned n = params.cArgs;
    const unsigned named = params.cNamedArgs;
    constexpr unsigned kNone = ~0u;
    for (std::size_t p = 0; p < e.paramCount; ++p)
        sources[p] = kNone;
    const unsigned positional = n - named;
    for (unsigned i = 0; i < positional && i < e.paramCount; ++i)
        sources[i] = n - 1 - i;
    for (unsigned k = 0; k < named; ++k) {
        const DISPID p = params.rgdispidNamedArgs[k];
        if (p < 0 || static_cast<std::size_t>(p) >= e.paramCount || sources[p] != kNone) {
            if (puArgErr != nullptr) *puArgErr = k;
            return DISP_E_PARAMNOTFOUND;
        }
        sources[p] = k;
    }
    return S_OK;
}

} // namespace

std::span<const DispatchEntry> AllDispatchEntries() {
    return kEntries;
}

const DispatchEntry* FindEntryById(DISPID id) {
    for (const DispatchEntry& e : kEntries)
        if (e.id == id) return &e;
    return nullptr;
}

const DispatchEntry* FindEntryByName(std::string_view name) {
    for (const DispatchEntry& e : kEntries)
        if (SameName(e.name, name.data(), name.size())) return &e;
    return nullptr;
}

HRESULT GetIdOfName(std::string_view name, DISPID* id) {
    if (id == nullptr) return E_POINTER;
    const DispatchEntry* e = FindEntryByName(name);
    *id = e != nullptr ? e->id : DISPID_UNKNOWN;
    return e != nullptr ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT GetIDsOfNames(const OLECHAR* const* names, unsigned count, DISPID* ids) {
    if (count == 0) return S_OK;
    if (names == nullptr || ids == nullptr) return E_POINTER;
    const DispatchEntry* entry = nullptr;
    if (names[0] != nullptr) {
        const std::size_t n = std::char_traits<OLECHAR>::length(names[0]);
        for (const DispatchEntry& e : kEntries)
            if (SameName(e.name, names[0], n)) {
                entry = &e;
                break;
            }
    }
    HRESULT hr = S_OK;
    ids[0] = entry != nullptr ? entry->id : DISPID_UNKNOWN;
    if (entry == nullptr) hr = DISP_E_UNKNOWNNAME;
    for (unsigned k = 1; k < count; ++k) {
        ids[k] = DISPID_UNKNOWN;
        if (entry != nullptr && names[k] != nullptr) {
            const std::size_t n = std::char_traits<OLECHAR>::length(names[k]);
            for (std::size_t p = 0; p < entry->paramCount; ++p)
                if (SameName(entry->params[p].name, names[k], n)) ids[k] = static_cast<DISPID>(p);
        }
        if (ids[k] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT GetDiagnosticsIDsOfNames(const OLECHAR* const* names, unsigned count, DISPID* ids) {
    if (count == 0) return S_OK;
    if (names == nullptr || ids == nullptr) return E_POINTER;
    for (unsigned k = 0; k < count; ++k)
        ids[k] = DISPID_UNKNOWN;
    if (names[0] == nullptr ||
        !SameName(kLastLinkErrorName, names[0], std::char_traits<OLECHAR>::length(names[0])))
        return DISP_E_UNKNOWNNAME;
    ids[0] = kDispidLastLinkError;
    // A property without parameters has no names beyond its own.
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT InvokeMethod(CPalvexCtrl& ctrl, DISPID id, std::uint16_t wFlags, DISPPARAMS* params,
                     VARIANT* pResult, unsigned* puArgErr, LCID lcid) noexcept {
    const DispatchEntry* e = FindEntryById(id);
    if (e == nullptr || (wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr) return E_POINTER;
    const unsigned n = params->cArgs;
    if (n != e->paramCount || params->cNamedArgs > n) return DISP_E_BADPARAMCOUNT;
    if ((n != 0 && params->rgvarg == nullptr) ||
        (params->cNamedArgs != 0 && params->rgdispidNamedArgs == nullptr))
        return E_POINTER;
    unsigned sources[kMaxDispatchParams];
    if (const HRESULT hr = PlaceArguments(*params, *e, sources, puArgErr); FAILED(hr)) return hr;

    // Every argument is converted before the method runs: a refusal leaves
    // the control as it was.
    DispatchArg args[kMaxDispatchParams] = {};
    auto release = [&] {
        for (unsigned i = 0; i < n; ++i)
            ReleaseArgument(args[i]);
    };
    bool fits = true;
    for (unsigned i = 0; i < n; ++i) {
        const HRESULT hr = ConvertArgument(params->rgvarg[sources[i]], e->params[i], lcid, args[i]);
        if (FAILED(hr)) {
            release();
            if (puArgErr != nullptr) *puArgErr = sources[i];
            return hr;
        }
        const DispatchParam& p = e->params[i];
        if (args[i].safeArray != nullptr &&
            args[i].arrayElements < (p.written != nullptr ? p.written(ctrl)
                                                            : static_cast<std::size_t>(p.elements)))
            fits = false;
    }

    VARIANT result;
    VariantInit(&result);
    if (fits) {
        e->invoke(ctrl, args, &result);
        for (unsigned i = 0; i < n; ++i)
            WriteBackToVariant(e->params[i], args[i]);
    } else {
        // An array too small for what the method would write: the method's
        // failure, and nothing written.
        result.vt = VT_BOOL;
        result.boolVal = VARIANT_FALSE;
    }
    release();
    if (pResult != nullptr) *pResult = result;
    return S_OK;
}

} // namespace palvex
