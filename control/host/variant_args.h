// The arguments of an automation call as a host builds them, on every
// system: each as the VARIANT of the parameter's declared type, and the
// list packed last-first as Automation lays it out.
#pragma once

#include "control/automation/com_support.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace palvex::host {

inline VARIANT EmptyArg() {
    VARIANT v{};
    v.vt = VT_EMPTY;
    return v;
}

// A 16-bit parameter (VT_I2). A value above 32767 passes its 16-bit pattern
// (a speed of 57600 travels as the short -7936).
inline VARIANT ShortArg(std::int64_t value) {
    VARIANT v = EmptyArg();
    v.vt = VT_I2;
    v.iVal = static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return v;
}

// A 32-bit parameter (VT_I4); above the signed range its 32-bit pattern.
inline VARIANT LongArg(std::int64_t value) {
    VARIANT v = EmptyArg();
    v.vt = VT_I4;
    v.lVal = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return v;
}

// An "lp..." parameter: the address of caller memory, as wide as a pointer.
inline VARIANT AddressArg(const void* address) {
    VARIANT v = EmptyArg();
    v.vt = VT_ADDR;
    const auto a = reinterpret_cast<std::intptr_t>(address);
    if constexpr (VT_ADDR == VT_I8)
        v.llVal = a;
    else
        v.lVal = static_cast<std::int32_t>(a);
    return v;
}

// A 16-bit variable, or the first element of an array, by reference.
inline VARIANT ShortRefArg(std::int16_t* target) {
    VARIANT v = EmptyArg();
    v.vt = VT_I2 | VT_BYREF;
    v.piVal = reinterpret_cast<decltype(v.piVal)>(target);
    return v;
}

// A string handle the method stores a new string in.
inline VARIANT StringRefArg(BSTR* target) {
    VARIANT v = EmptyArg();
    v.vt = VT_BSTR | VT_BYREF;
    v.pbstrVal = target;
    return v;
}

// The arguments in call order put last-first into `packed` (which holds at
// least as many); the DISPPARAMS over them.
inline DISPPARAMS PackArguments(std::span<const VARIANT> inCallOrder, VARIANT* packed) {
    const std::size_t n = inCallOrder.size();
    for (std::size_t i = 0; i < n; ++i)
        packed[n - 1 - i] = inCallOrder[i];
    return DISPPARAMS{n > 0 ? packed : nullptr, nullptr, static_cast<UINT>(n), 0};
}

} // namespace palvex::host
