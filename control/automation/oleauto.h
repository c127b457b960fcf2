// The automation types that cross the control's boundary: 16-bit strings with
// a length prefix (BSTR), tagged values (VARIANT), result codes (HRESULT).
// Their layout is the module's binary interface (palvex_com.h); this header
// adds the control's own string and variant helpers. Nothing here depends on
// any platform library.
#pragma once

#include "control/automation/palvex_com.h"

#include <cstddef>
#include <cstdint>

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

// 8-bit text widened to a new string, one character per byte (the control's
// texts are hex digits; Chinese bytes keep their code-page values).
BSTR BstrFromBytes(const char* text);
