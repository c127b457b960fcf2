// The type library PALVEXLib as IDL text, generated from the dispatch table:
// the one description of the library. The Windows build compiles the
// committed Palvex.idl, this text, with widl into the library that the
// module carries as its TYPELIB resource; the Linux module gives the same
// text to hosts (palvex_typelib_text, `palvex typelib`).
//
// The text needs no system IDL files: it declares the few standard types it
// names itself and imports stdole2.tlb. The address parameters are
// __int3264, which widl makes VT_I4 in a 32-bit library and VT_I8 in a
// 64-bit one, so one file serves both.
#pragma once

#include <string>

namespace palvex {

// The whole IDL file: the library, _DPalvex with every method of the
// dispatch table in identifier order, _DPalvexEvents and the coclass.
std::string PalvexIdlText();

} // namespace palvex
