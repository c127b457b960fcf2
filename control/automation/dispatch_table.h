// The dispatch interface _DPalvex: every automation method of the control
// with its fixed identifier, its name, its parameters and its result type,
// and the Invoke that calls a method by identifier with VARIANT arguments.
//
// The table in dispatch_table.cpp is the one place that names the methods:
// name lookup, Invoke, the command-line host and any generated interface
// description all read it. Each entry is checked at compile time against
// the member function it calls, so a declared parameter type can never
// drift from the C++ signature.
#pragma once

#include "control/automation/oleauto.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

class CPalvexCtrl;

namespace palvex {

// Most parameters any method of the interface takes.
constexpr std::size_t kMaxDispatchParams = 8;

// Returned for names that match nothing.
constexpr DISPID DISPID_UNKNOWN = -1;

struct DispatchParam {
    const char* name;
    // VT_I2, VT_I4, VT_ADDR (caller addresses), VT_I2|VT_BYREF or
    // VT_BSTR|VT_BYREF.
    VARTYPE vt;
    // By-reference parameters: how many elements the method may write
    // through the pointer (an array's capacity; 1 for one variable).
    int elements = 1;
    // Array parameters: how many elements the method writes in the control's
    // present state (an array passed as a safe array must hold them all);
    // nullptr: `elements`.
    std::size_t (*written)(const CPalvexCtrl& ctrl) = nullptr;
    // 16-bit parameters that carry an unsigned value (a speed, a TCP port):
    // 32768 to 65535 are taken as their 16-bit pattern, as they travel.
    bool unsigned16 = false;
};

// One argument after conversion: the integer of a by-value parameter or the
// pointer of a by-reference one. A by-reference argument that came as a
// variant (a script's variable, VT_BYREF|VT_VARIANT) points the method at
// the cell of its own type here, and the method's value goes back into the
// variant after the call.
struct DispatchArg {
    std::int64_t value;
    void* ref;
    VARIANT* variant = nullptr;
    short shortCell = 0;
    BSTR stringCell = nullptr;
    // An array parameter given as a safe array: the system's handle while
    // its elements are accessed, and how many it holds.
    void* safeArray = nullptr;
    std::size_t arrayElements = 0;
};

// Calls the member function with args[0..n) in parameter order and stores the
// result (never null).
using DispatchInvoker = void (*)(CPalvexCtrl& ctrl, const DispatchArg* args, VARIANT* result);

struct DispatchEntry {
    DISPID id;
    const char* name;
    DispatchParam params[kMaxDispatchParams];
    std::size_t paramCount;
    // VT_BOOL, VT_I2, or VT_VOID for methods without a result (their Invoke
    // result is VT_EMPTY).
    VARTYPE result;
    DispatchInvoker invoke;

    std::span<const DispatchParam> Params() const { return {params, paramCount}; }
};

// All entries in identifier order.
std::span<const DispatchEntry> AllDispatchEntries();

// The entry of an identifier, or nullptr.
const DispatchEntry* FindEntryById(DISPID id);

// The entry whose name matches, ignoring ASCII case, or nullptr.
const DispatchEntry* FindEntryByName(std::string_view name);

// Identifier of one method name (ignoring case): S_OK, or DISP_E_UNKNOWNNAME
// with *id set to DISPID_UNKNOWN.
HRESULT GetIdOfName(std::string_view name, DISPID* id);

// Automation name lookup: names[0] is a method, names[1..count) are names of
// its parameters, whose identifiers are their 0-based positions. Unknown
// names get DISPID_UNKNOWN and the call returns DISP_E_UNKNOWNNAME.
HRESULT GetIDsOfNames(const OLECHAR* const* names, unsigned count, DISPID* ids);

// The control's second dispatch interface, _DPalvexDiagnostics, for
// automation hosts that cannot call IPalvexDiagnostics: one read-only
// property, the text of why the link last failed.
constexpr DISPID kDispidLastLinkError = 1;
constexpr const char* kLastLinkErrorName = "LastLinkError";

// GetIDsOfNames of _DPalvexDiagnostics: its one property, ignoring case.
HRESULT GetDiagnosticsIDsOfNames(const OLECHAR* const* names, unsigned count, DISPID* ids);

// Invoke with automation semantics. Every argument is checked and converted
// before the method runs, so a refused call changes nothing:
//   unknown id, or wFlags without DISPATCH_METHOD  DISP_E_MEMBERNOTFOUND
//   wrong argument count                           DISP_E_BADPARAMCOUNT
//   a named argument no parameter has, or a
//   parameter given twice                          DISP_E_PARAMNOTFOUND
//   value that does not fit the parameter          DISP_E_OVERFLOW
//   unconvertible type or text, by-reference
//   parameter not of exactly its declared type     DISP_E_TYPEMISMATCH
// Arguments are positional (last-first in rgvarg) or named by the parameter
// identifiers GetIDsOfNames gives (0-based positions; named ones come first
// in rgvarg), mixed as Automation defines. By-value parameters are
// converted as Automation converts (variant_convert.h): any number, a
// numeric string, Empty, by value, by reference or in a script's variable.
// A by-reference parameter of one element also takes a reference to a
// variant (VT_BYREF|VT_VARIANT, what script hosts pass): the method writes
// a cell of its own type, and on return the variant holds that value
// (VT_I2, or VT_BSTR when the method made a string). An array parameter
// takes a pointer to its element type (the first element of the caller's
// array) or a safe array of 16-bit integers; a safe array too small for
// what the method would write makes the call return the method's failure
// (FALSE) without running it.
// For the refusals of one argument *puArgErr receives its index in rgvarg.
// pResult and puArgErr may be null. Never throws.
HRESULT InvokeMethod(CPalvexCtrl& ctrl, DISPID id, std::uint16_t wFlags, DISPPARAMS* params,
                     VARIANT* pResult, unsigned* puArgErr, LCID lcid = 0) noexcept;

} // namespace palvex
