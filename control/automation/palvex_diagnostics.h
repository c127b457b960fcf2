/* IPalvexDiagnostics: what travels on the link and why it failed. The
 * control's methods keep answering FALSE on a failure; the reason comes
 * through here. The control offers it on every system (QueryInterface with
 * IID_IPalvexDiagnostics).
 *
 * Included by the system's header of the module (palvex_com.h, or
 * palvex_win32.h on Windows), which gives the basic types and IUnknown.
 */
#ifndef PALVEX_DIAGNOSTICS_H
#define PALVEX_DIAGNOSTICS_H

#include "palvex_interface.h"
#include "palvex_trace.h"

static const IID IID_IPalvexDiagnostics = {
    0x1C417E99, 0x3537, 0x45E9, {0x87, 0xA0, 0x7A, 0x48, 0x05, 0x48, 0x42, 0xE7}};

#undef PALVEX_SELF
#define PALVEX_SELF IPalvexDiagnostics
PALVEX_INTERFACE_(IPalvexDiagnostics, IUnknown) {
    PALVEX_IUNKNOWN_METHODS;
    /* The host's trace sink: called on the calling thread, during the
     * control's method, for every frame written, every reply read and every
     * link failure. One sink at a time (a later call replaces it); null
     * removes it. The trace that PALVEX_TRACE prints on standard error goes
     * on beside it. The sink must not call the control. */
    PALVEX_METHOD(SetTraceSink)(PALVEX_THIS_ PALVEX_TRACE_SINK sink, void* context) PALVEX_PURE;
    /* Why the link last failed, in the text of PALVEX_TRACE_EVENT.text; ""
     * when the last open went well and no exchange since fell short (the
     * open methods start afresh). *length receives the length of the text
     * without its zero, also when capacity is too small
     * (E_NOT_SUFFICIENT_BUFFER: nothing is copied; text may be null when
     * capacity is 0). */
    PALVEX_METHOD(GetLastLinkError)(PALVEX_THIS_ char* text, ULONG capacity, ULONG* length)
        PALVEX_PURE;
};

#endif /* PALVEX_DIAGNOSTICS_H */
