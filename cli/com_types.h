// The automation types palvex hands to the control (VARIANT, BSTR, DISPID,
// DISPPARAMS, IDispatch, ITypeInfo, TYPEATTR, FUNCDESC) and the few calls
// through them. Both systems give the types the same names and fields, so
// parsing, binding and printing use them in one portable path; where the
// systems differ (how an interface is called, how a type description names a
// parameter's type, how the last link failure is asked for) the portable code
// calls the functions below, which each system defines in its own file
// (com_calls_linux.cpp over the module's header, com_calls_win32.cpp over the
// system's). The header CMake generates, "palvex_cli_com_types.h", names the
// system's types: cli/com_types_linux.h or cli/com_types_win32.h.
#pragma once

#include "palvex_cli_com_types.h"

#include <string>
#include <string_view>

namespace palvex::cli::com {

// IDispatch::GetTypeInfoCount.
HRESULT TypeInfoCount(IDispatch& control, unsigned& count);
// IDispatch::GetTypeInfo(0): one reference, given back with Release.
HRESULT FirstTypeInfo(IDispatch& control, ITypeInfo*& info);
void Release(ITypeInfo& info);

HRESULT GetTypeAttr(ITypeInfo& info, TYPEATTR*& attr);
void ReleaseTypeAttr(ITypeInfo& info, TYPEATTR* attr);
HRESULT GetFuncDesc(ITypeInfo& info, unsigned index, FUNCDESC*& desc);
void ReleaseFuncDesc(ITypeInfo& info, FUNCDESC* desc);
// The member's name, then its parameters' names; `got` of them were written.
HRESULT GetNames(ITypeInfo& info, MEMBERID id, BSTR* names, unsigned maxNames, unsigned& got);

// A parameter's or result's type as the VARIANT that passes it names it:
// VT_I2, VT_ADDR, VT_BOOL, ..., a by-reference parameter as VT_BYREF with
// the type it points at (VT_I2 | VT_BYREF).
VARTYPE TypeOf(const ELEMDESC& element);
// Members a host is not meant to call (restricted ones).
bool Restricted(const FUNCDESC& desc);

// IDispatch::GetIDsOfNames for one ASCII name.
HRESULT IdOfName(IDispatch& control, std::string_view name, DISPID& id);
// IDispatch::Invoke as a method, without named arguments or exception
// information.
HRESULT Invoke(IDispatch& control, DISPID id, DISPPARAMS& params, VARIANT& result,
               unsigned& argErr);

// Why the control's link last failed (IPalvexDiagnostics::GetLastLinkError);
// "" when nothing failed or the control does not tell.
std::string LastLinkError(IDispatch& control);

// "0x80020006 (unknown name)"
std::string HresultMessage(HRESULT hr);

} // namespace palvex::cli::com
