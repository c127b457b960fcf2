// The control as a component object: the link control CPalvexCtrl with the
// interfaces a host reaches it through: IDispatch (_DPalvex), IPersistStreamInit,
// IPalvexControl (picture, status flags, type name, property page) and
// IPalvexDiagnostics (frame trace, the last link failure).
#pragma once

#include "control/automation/palvex_com.h"

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
