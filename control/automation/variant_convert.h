// What the dispatch layer asks of the system's automation library when it
// converts an argument: the integer a by-value argument stands for, as
// Automation converts it (VariantChangeTypeEx on Windows; the same rules in
// variant_convert_linux.cpp for the types the Linux module takes), and the
// 16-bit elements of a safe array (Windows only: the Linux module has no
// safe arrays).
#pragma once

#include "palvex_automation_types.h"

#include <cstddef>
#include <cstdint>

namespace palvex {

// The value of `v` (any integer type, Boolean, Single, Double, Currency,
// Decimal, a numeric string, Empty as 0, any of them by reference or in a
// script's variable) as a 64-bit integer, fractions rounded to the nearest
// even integer as Automation rounds them. DISP_E_OVERFLOW when it does not
// fit, DISP_E_TYPEMISMATCH when it is no number.
HRESULT ChangeToInteger(const VARIANT& v, LCID lcid, std::int64_t& out);

// The elements of a one-dimensional safe array of 16-bit integers that `v`
// holds (by value, by reference, or in a script's variable), accessible
// until ReleaseShortArray. S_OK with the view; S_FALSE when `v` holds no
// array; DISP_E_TYPEMISMATCH for an array of another kind or shape.
struct ShortArrayView {
    std::int16_t* data = nullptr;
    std::size_t count = 0;
    void* array = nullptr; // the system's handle, while accessed
};
HRESULT AccessShortArray(const VARIANT& v, ShortArrayView& view);
void ReleaseShortArray(ShortArrayView& view);

} // namespace palvex
