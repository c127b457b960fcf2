/* The Palvex control module on Windows (Palvex.ocx), for hosts written in C
 * or C++ that want more than its dispatch interface. Hosts create the
 * control with CoCreateInstance(CLSID_Palvex, ..., IID_IDispatch, ...) and
 * call its methods through IDispatch, as any automation client does; the
 * type library inside the module describes them.
 *
 * Besides the container interfaces of an ActiveX control the control offers
 * IPalvexDiagnostics (palvex_diagnostics.h): the frame trace and why the
 * link last failed. The methods keep answering FALSE on a failure; the
 * reason comes through here.
 */
#ifndef PALVEX_WIN32_H
#define PALVEX_WIN32_H

#include <windows.h>
/* After windows.h, which it builds on. */
#include <ole2.h>

#define PALVEX_GUID_DEFINED
#include "palvex_guids.h"

/* The convention of the system's interfaces. */
#define PALVEX_CALL STDMETHODCALLTYPE
#include "palvex_diagnostics.h"

#endif /* PALVEX_WIN32_H */
