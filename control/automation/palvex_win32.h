/* The Palvex control module on Windows (Palvex.ocx), for hosts written in C++
 * that want more than its dispatch interface. Hosts create the control with
 * CoCreateInstance(CLSID_Palvex, ..., IID_IDispatch, ...) and call its
 * methods through IDispatch, as any automation client does; the type
 * library inside the module describes them.
 *
 * Besides the container interfaces of an ActiveX control the control offers
 * IPalvexDiagnostics: the frame trace and why the link last failed. The
 * methods keep answering FALSE on a failure; the reason comes through here.
 */
#ifndef PALVEX_WIN32_H
#define PALVEX_WIN32_H

#include <windows.h>
/* After windows.h, which it builds on. */
#include <ole2.h>

#define PALVEX_GUID_DEFINED
#include "palvex_guids.h"
#include "palvex_trace.h"

static const IID IID_IPalvexDiagnostics = {
    0x1C417E99, 0x3537, 0x45E9, {0x87, 0xA0, 0x7A, 0x48, 0x05, 0x48, 0x42, 0xE7}};

#ifdef __cplusplus
struct IPalvexDiagnostics : public IUnknown {
    /* The host's trace sink: called on the calling thread, during the
     * control's method, for every frame written, every reply read and every
     * link failure. One sink at a time (a later call replaces it); null
     * removes it. The sink must not call the control. */
    virtual HRESULT STDMETHODCALLTYPE SetTraceSink(PALVEX_TRACE_SINK sink, void* context) = 0;
    /* Why the link last failed, in the text of PALVEX_TRACE_EVENT.text; ""
     * when the last open went well and no exchange since fell short.
     * *length receives the length of the text without its zero, also when
     * capacity is too small (E_NOT_SUFFICIENT_BUFFER: nothing is copied). */
    virtual HRESULT STDMETHODCALLTYPE GetLastLinkError(char* text, ULONG capacity,
                                                       ULONG* length) = 0;
};
#endif

#endif /* PALVEX_WIN32_H */
