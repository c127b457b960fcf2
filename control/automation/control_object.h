// The control as a component object, one for every system: the link control
// CPalvexCtrl behind IDispatch (_DPalvex, over the dispatch table),
// IPersistStreamInit (its version stamp) and IPalvexDiagnostics (the frame
// trace, the last link failure), with the system's own parts beside them
// (control_parts.h).
#pragma once

#include "control/automation/com_support.h"

class CPalvexCtrl;

namespace palvex {

// A new control in its freshly constructed state; *ppv receives the asked-for
// interface with one reference.
HRESULT CreateControlObject(REFIID riid, void** ppv);

// The same interfaces over a control the caller owns, which must outlive
// every reference handed out (hosts that build the control themselves, such
// as tests with a substituted link).
HRESULT CreateControlObjectOver(CPalvexCtrl& ctrl, REFIID riid, void** ppv);

} // namespace palvex
