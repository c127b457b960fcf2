// The automation types that cross the control's boundary: 16-bit strings with
// a length prefix (BSTR), tagged values (VARIANT), result codes (HRESULT).
// They are the system's own where it has them (oleaut32 on Windows) and the
// module's where it does not (palvex_com.h on Linux): the build puts the
// right file behind palvex_automation_types.h. This header adds the
// control's own helpers over them.
#pragma once

#include "palvex_automation_types.h"

// 8-bit text widened to a new string, one character per byte (the control's
// texts are hex digits; Chinese bytes keep their code-page values).
BSTR BstrFromBytes(const char* text);

// UTF-8 text as a new string of UTF-16 characters; a byte that does not
// begin or continue a character becomes U+FFFD.
BSTR BstrFromUtf8(const char* text);
