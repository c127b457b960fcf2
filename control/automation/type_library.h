// The type library PALVEXLib, generated from the dispatch table: as IDL text
// for people and tools, and as the reduced ITypeInfo of _DPalvex that
// IDispatch::GetTypeInfo serves.
#pragma once

#include "control/automation/palvex_com.h"

#include <string>

namespace palvex {

// The library with its two dispatch interfaces and the control class, every
// method with its identifier, parameter names and types and its result.
std::string TypeLibraryText();

// The IDL spelling of a parameter or result type.
const char* IdlTypeName(VARTYPE vt);

// A new type information object for _DPalvex (one reference).
HRESULT CreateDispatchTypeInfo(ITypeInfo** info);

} // namespace palvex
