// The size in pixels of a dialog template of a module, as the system gives
// the dialog when it creates it: the template's dialog units scaled by the
// average character width and the height of the template's font.
#pragma once

#include <windows.h>

namespace palvex::win32 {

HRESULT DialogTemplateSize(HMODULE module, UINT id, SIZE* pixels);

} // namespace palvex::win32
