// The automation types of the Linux build: the module's own binary interface
// (palvex_com.h) and its string and variant functions, which the module
// implements itself (oleauto_linux.cpp) since the system has none.
#pragma once

#include "control/automation/com_support.h"

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
