// The control's property page on Windows (class CLSID_PalvexPropPage): an
// IPropertyPage over dialog 200 of the module, titled with string 200. It
// shows a single static text and edits no property: applying it changes
// nothing.
#pragma once

#include <windows.h>

namespace palvex::win32 {

// A new page, handed out as riid with one reference; E_NOINTERFACE (and
// *ppv null) when the page does not offer riid.
HRESULT CreatePalvexPropPage(REFIID riid, void** ppv);

} // namespace palvex::win32
