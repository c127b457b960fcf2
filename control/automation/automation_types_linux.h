// The automation types of the Linux build: the module's own binary interface
// (palvex_com.h) and its string and variant functions, which the module
// implements itself (oleauto_linux.cpp) since the system has none. Hosts
// see the declarations but link none of them: a string a module hands out
// goes back to that module (PalvexSysFreeString).
#pragma once

#include "control/automation/palvex_com.h"

extern "C" {
// A new string of len characters copied from s (s may be null: contents zero).
BSTR SysAllocStringLen(const OLECHAR* s, unsigned len);
// A new string of the zero-terminated s.
BSTR SysAllocString(const OLECHAR* s);
void SysFreeString(BSTR s);
unsigned SysStringLen(BSTR s);
void VariantInit(VARIANT* v);
// Frees what v owns (a string) and empties it.
HRESULT VariantClear(VARIANT* v);
}

// The convention of exported functions: the system's only one.
#define STDAPICALLTYPE
