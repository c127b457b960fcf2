#include "control/automation/dispatch_table.h"

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
// a new automation string, which it frees. On failure the host's string is
// left as it was.
BOOL QKGetPropertyString(CPalvexCtrl& ctrl, BSTR* bStr) {
    if (bStr == nullptr) return FALSE;
    char text[CPalvexCtrl::kPropertyTextCapacity];
    if (!ctrl.QKGetProperty(text, sizeof text)) return FALSE;
    BSTR made = BstrFromBytes(text);
    if (made == nullptr) return FALSE;
    *bStr = made;
    return TRUE;
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
        {{"LocalPort", I2}, {"RemoteIP", I4}, {"RemotePort", I2}, {"WaitTime", I2}}, VT_BOOL),
    Method<&CPalvexCtrl::ComInitial>(dispid::ComInitial, "ComInitial",
        {{"ComPort", I2}, {"BaudRate", I2}, {"WaitTime", I2}}, VT_BOOL),
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
        {{"color", I2}, {"column", I2}, {"Resultx", I2_REF, card::kTestResultShorts}}, VT_BOOL),
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
        {{"lpCount", I2_REF}, {"lpRetBuff", I2_REF, card::kCapturedFrameShorts}}, VT_BOOL),
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

template <class T> T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool IsIntegerType(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL:
        return true;
    default:
        return false;
    }
}

// The integer at p, stored as vt (an integer type).
HRESULT LoadInteger(VARTYPE vt, const void* p, std::int64_t& out) {
    switch (vt) {
    case VT_I1:
        out = Load<std::int8_t>(p);
        return S_OK;
    case VT_I2:
        out = Load<std::int16_t>(p);
        return S_OK;
    case VT_I4:
        out = Load<std::int32_t>(p);
        return S_OK;
    case VT_I8:
        out = Load<std::int64_t>(p);
        return S_OK;
    case VT_UI1:
        out = Load<std::uint8_t>(p);
        return S_OK;
    case VT_UI2:
        out = Load<std::uint16_t>(p);
        return S_OK;
    case VT_UI4:
        out = Load<std::uint32_t>(p);
        return S_OK;
    case VT_INT:
        out = Load<int>(p);
        return S_OK;
    case VT_UINT:
        out = Load<unsigned>(p);
        return S_OK;
    case VT_BOOL:
        out = Load<VARIANT_BOOL>(p);
        return S_OK;
    case VT_UI8: {
        // No parameter is wider than 64 signed bits.
        const auto u = Load<std::uint64_t>(p);
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return DISP_E_OVERFLOW;
        out = static_cast<std::int64_t>(u);
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Decimal text: optional blanks, an optional sign, digits, optional blanks.
HRESULT ParseDecimal(BSTR s, std::int64_t& out) {
    if (s == nullptr) return DISP_E_TYPEMISMATCH;
    const unsigned n = SysStringLen(s);
    unsigned i = 0;
    while (i < n && s[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
    const unsigned firstDigit = i;
    // Magnitude as unsigned, so the most negative value is reachable.
    std::uint64_t magnitude = 0;
    bool tooBig = false;
    for (; i < n && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        const unsigned d = static_cast<unsigned>(s[i] - u'0');
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - d) / 10)
            tooBig = true;
        else
            magnitude = magnitude * 10 + d;
    }
    if (i == firstDigit) return DISP_E_TYPEMISMATCH;
    while (i < n && s[i] == u' ')
        ++i;
    if (i != n) return DISP_E_TYPEMISMATCH;

    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1u : 0u);
    if (tooBig || magnitude > limit) return DISP_E_OVERFLOW;
    out =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return S_OK;
}

// The integer a by-value argument holds.
HRESULT ReadInteger(const VARIANT& v, std::int64_t& out) {
    if (v.vt == (VT_BYREF | VT_VARIANT)) {
        // A script's variable: the value is in the variant it points at.
        const VARIANT* inner = v.pvarVal;
        if (inner == nullptr || inner->vt == (VT_BYREF | VT_VARIANT)) return DISP_E_TYPEMISMATCH;
        return ReadInteger(*inner, out);
    }
    if ((v.vt & VT_BYREF) != 0) {
        const VARTYPE target = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
        if (!IsIntegerType(target) || v.byref == nullptr) return DISP_E_TYPEMISMATCH;
        return LoadInteger(target, v.byref, out);
    }
    if (v.vt == VT_BSTR) return ParseDecimal(v.bstrVal, out);
    if (!IsIntegerType(v.vt)) return DISP_E_TYPEMISMATCH;
    return LoadInteger(v.vt, &v.llVal, out);
}

bool FitsParameter(std::int64_t value, VARTYPE vt) {
    switch (vt) {
    case VT_I2:
        return value >= std::numeric_limits<std::int16_t>::min() &&
               value <= std::numeric_limits<std::int16_t>::max();
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
// (a string parameter starts empty, as the method expects).
HRESULT ConvertVariantReference(const VARIANT& v, const DispatchParam& declared, DispatchArg& out) {
    VARIANT* inner = v.pvarVal;
    if (declared.elements != 1 || inner == nullptr || (inner->vt & VT_BYREF) != 0)
        return DISP_E_TYPEMISMATCH;
    out.variant = inner;
    if (declared.vt == (VT_BSTR | VT_BYREF)) {
        out.ref = &out.stringCell;
        return S_OK;
    }
    std::int64_t value = 0;
    if (inner->vt != VT_EMPTY) {
        if (const HRESULT hr = ReadInteger(*inner, value); FAILED(hr)) return hr;
        if (!FitsParameter(value, VT_I2)) return DISP_E_OVERFLOW;
    }
    out.shortCell = static_cast<short>(value);
    out.ref = &out.shortCell;
    return S_OK;
}

HRESULT ConvertArgument(const VARIANT& v, const DispatchParam& param, DispatchArg& out) {
    const VARTYPE declared = param.vt;
    if ((declared & VT_BYREF) != 0) {
        if (v.vt == (VT_BYREF | VT_VARIANT)) return ConvertVariantReference(v, param, out);
        // A caller's storage is written through as the declared type, so
        // nothing else will do.
        if (v.vt != declared) return DISP_E_TYPEMISMATCH;
        out.ref = v.byref;
        return S_OK;
    }
    std::int64_t value = 0;
    if (const HRESULT hr = ReadInteger(v, value); FAILED(hr)) return hr;
    if (!FitsParameter(value, declared)) return DISP_E_OVERFLOW;
    out.value = value;
    return S_OK;
}

// After the call: a script's variable receives what the method wrote in its
// cell. A string goes over to the variable; a string parameter the method
// left alone leaves the variable as it was.
void WriteBackToVariant(const DispatchParam& param, DispatchArg& arg) {
    if (arg.variant == nullptr) return;
    if (param.vt == (VT_BSTR | VT_BYREF)) {
        if (arg.stringCell == nullptr) return;
        VariantClear(arg.variant);
        arg.variant->vt = VT_BSTR;
        arg.variant->bstrVal = std::exchange(arg.stringCell, nullptr);
        return;
    }
    VariantClear(arg.variant);
    arg.variant->vt = VT_I2;
    arg.variant->iVal = arg.shortCell;
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

HRESULT InvokeMethod(CPalvexCtrl& ctrl, DISPID id, std::uint16_t wFlags, DISPPARAMS* params,
                     VARIANT* pResult, unsigned* puArgErr) noexcept {
    const DispatchEntry* e = FindEntryById(id);
    if (e == nullptr || (wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr) return E_POINTER;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != e->paramCount) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs != 0 && params->rgvarg == nullptr) return E_POINTER;

    // Every argument is converted before the method runs: a refusal leaves
    // the control as it was.
    DispatchArg args[kMaxDispatchParams] = {};
    const unsigned n = params->cArgs;
    for (unsigned i = 0; i < n; ++i) {
        const unsigned position = n - 1 - i; // arguments arrive last-first
        const HRESULT hr = ConvertArgument(params->rgvarg[position], e->params[i], args[i]);
        if (FAILED(hr)) {
            if (puArgErr != nullptr) *puArgErr = position;
            return hr;
        }
    }

    VARIANT result;
    VariantInit(&result);
    e->invoke(ctrl, args, &result);
    for (unsigned i = 0; i < n; ++i)
        WriteBackToVariant(e->params[i], args[i]);
    if (pResult != nullptr) *pResult = result;
    return S_OK;
}

} // namespace palvex
