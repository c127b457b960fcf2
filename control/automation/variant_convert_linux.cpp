// The conversions of the dispatch layer on Linux, where there is no
// automation library: the rules by which Automation changes a value to an
// integer, for the types the Linux module takes (the integers, Boolean,
// Single, Double, Currency, numeric strings, Empty). Fractions go to the
// nearest integer, halves to the even one, as VariantChangeType rounds.
#include "control/automation/variant_convert.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace palvex {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

template <class T> T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

HRESULT FromDouble(double d, std::int64_t& out) {
    if (std::isnan(d)) return DISP_E_OVERFLOW;
    // The default rounding mode takes halves to the even neighbour.
    const double r = std::nearbyint(d);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return DISP_E_OVERFLOW;
    out = static_cast<std::int64_t>(r);
    return S_OK;
}

// A quotient rounded half to even.
std::int64_t RoundedQuotient(std::int64_t value, std::int64_t divisor) {
    std::int64_t q = value / divisor;
    const std::int64_t r = value % divisor;
    const std::int64_t twice = 2 * (r < 0 ? -r : r);
    if (twice > divisor || (twice == divisor && q % 2 != 0)) q += value < 0 ? -1 : 1;
    return q;
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// A number written as text, taken apart: its sign, its digits without the
// point, how many of them stand before the point, and its exponent.
struct SWrittenNumber {
    bool negative = false;
    std::string digits;
    long pointAt = 0;
    long exponent = 0;
};

// Reads text as Automation's number parser reads it for the standard forms:
// blanks around; a sign before or after, or parentheses for a negative
// number; a "$" before the digits; "," between the digits before the point;
// a point; an exponent. &H and &O numbers are read by FromText itself.
bool ReadWritten(std::u16string_view t, SWrittenNumber& n) {
    std::size_t i = 0;
    auto blanks = [&] {
        while (i < t.size() && IsBlank(t[i]))
            ++i;
    };
    auto next = [&](char16_t c) {
        if (i < t.size() && t[i] == c) return ++i, true;
        return false;
    };
    blanks();
    const bool parens = next(u'(');
    bool leadingSign = false;
    if (!parens && (next(u'-') || next(u'+'))) {
        leadingSign = true;
        n.negative = t[i - 1] == u'-';
        blanks();
    }
    next(u'$');
    bool point = false;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i];
        if (c >= u'0' && c <= u'9')
            n.digits += static_cast<char>(c);
        else if (c == u'.' && !point)
            point = true, n.pointAt = static_cast<long>(n.digits.size());
        else if (c == u',' && !point && !n.digits.empty())
            continue;
        else
            break;
    }
    if (n.digits.empty()) return false;
    if (!point) n.pointAt = static_cast<long>(n.digits.size());
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        const bool negativeExp = next(u'-');
        if (!negativeExp) next(u'+');
        if (i == t.size() || t[i] < u'0' || t[i] > u'9') return false;
        for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i)
            if (n.exponent < 100000) n.exponent = n.exponent * 10 + (t[i] - u'0');
        if (negativeExp) n.exponent = -n.exponent;
    }
    if (parens) {
        blanks();
        if (!next(u')')) return false;
        n.negative = true;
    } else if (!leadingSign && (next(u'-') || next(u'+'))) {
        n.negative = t[i - 1] == u'-';
    }
    blanks();
    return i == t.size();
}

// A number in text as Automation reads it (ReadWritten), or &H / &O with
// hexadecimal or octal digits; the fraction rounded half to even.
HRESULT FromText(BSTR s, std::int64_t& out) {
    if (s == nullptr) return DISP_E_TYPEMISMATCH;
    std::u16string_view text(s, SysStringLen(s));
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (text.size() > 2 && text[0] == u'&') {
        const char16_t kind = text[1];
        const unsigned base = (kind == u'H' || kind == u'h') ? 16 : (kind == u'O' || kind == u'o') ? 8 : 0;
        if (base == 0) return DISP_E_TYPEMISMATCH;
        std::uint64_t v = 0;
        for (const char16_t c : text.substr(2)) {
            unsigned d = 99;
            if (c >= u'0' && c <= u'9') d = c - u'0';
            else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
            if (d >= base) return DISP_E_TYPEMISMATCH;
            if (v > (std::numeric_limits<std::uint64_t>::max() - d) / base) return DISP_E_OVERFLOW;
            v = v * base + d;
        }
        if (v > static_cast<std::uint64_t>(kMax)) return DISP_E_OVERFLOW;
        out = static_cast<std::int64_t>(v);
        return S_OK;
    }
    SWrittenNumber n;
    if (!ReadWritten(text, n)) return DISP_E_TYPEMISMATCH;
    // Integer digits are those before the point moved by the exponent.
    const long integerDigits = n.pointAt + n.exponent;
    std::uint64_t whole = 0;
    for (long k = 0; k < integerDigits; ++k) {
        const unsigned d = k < static_cast<long>(n.digits.size()) ? n.digits[k] - '0' : 0;
        if (whole > (static_cast<std::uint64_t>(kMax) + 1 - d) / 10) return DISP_E_OVERFLOW;
        whole = whole * 10 + d;
    }
    // The first digit after the point decides, the rest breaks a tie (a
    // number below 0.1 has no such digit: it rounds to 0).
    if (integerDigits >= 0 && integerDigits < static_cast<long>(n.digits.size())) {
        const char d = n.digits[integerDigits];
        bool rest = false;
        for (std::size_t k = integerDigits + 1; k < n.digits.size(); ++k)
            rest = rest || n.digits[k] != '0';
        if (d > '5' || (d == '5' && (rest || whole % 2 != 0))) ++whole;
    }
    const std::uint64_t limit = static_cast<std::uint64_t>(kMax) + (n.negative ? 1 : 0);
    if (whole > limit) return DISP_E_OVERFLOW;
    out = n.negative ? static_cast<std::int64_t>(0 - whole) : static_cast<std::int64_t>(whole);
    return S_OK;
}

// The value at p, stored as vt.
HRESULT FromStored(VARTYPE vt, const void* p, std::int64_t& out) {
    switch (vt) {
    case VT_EMPTY:
        out = 0;
        return S_OK;
    case VT_I1:
        out = Load<std::int8_t>(p);
        return S_OK;
    case VT_I2:
        out = Load<std::int16_t>(p);
        return S_OK;
    case VT_I4:
    case VT_INT:
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
    case VT_UINT:
        out = Load<std::uint32_t>(p);
        return S_OK;
    case VT_UI8: {
        const auto u = Load<std::uint64_t>(p);
        if (u > static_cast<std::uint64_t>(kMax)) return DISP_E_OVERFLOW;
        out = static_cast<std::int64_t>(u);
        return S_OK;
    }
    case VT_BOOL:
        out = Load<VARIANT_BOOL>(p);
        return S_OK;
    case VT_R4:
        return FromDouble(Load<float>(p), out);
    case VT_R8:
        return FromDouble(Load<double>(p), out);
    case VT_CY:
        out = RoundedQuotient(Load<std::int64_t>(p), 10000);
        return S_OK;
    case VT_BSTR:
        return FromText(Load<BSTR>(p), out);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

HRESULT ChangeToInteger(const VARIANT& v, LCID, std::int64_t& out) {
    if (v.vt == (VT_BYREF | VT_VARIANT)) {
        // A script's variable: the value is in the variant it points at.
        const VARIANT* inner = v.pvarVal;
        if (inner == nullptr || inner->vt == (VT_BYREF | VT_VARIANT)) return DISP_E_TYPEMISMATCH;
        return ChangeToInteger(*inner, 0, out);
    }
    if ((v.vt & VT_BYREF) != 0) {
        if (v.byref == nullptr || v.vt == (VT_BYREF | VT_EMPTY)) return DISP_E_TYPEMISMATCH;
        return FromStored(static_cast<VARTYPE>(v.vt & ~VT_BYREF), v.byref, out);
    }
    return FromStored(v.vt, &v.llVal, out);
}

HRESULT AccessShortArray(const VARIANT&, ShortArrayView& view) {
    view = {};
    return S_FALSE;
}

void ReleaseShortArray(ShortArrayView& view) {
    view = {};
}

} // namespace palvex
