// CPalvexPropPage: the control's property page. It shows dialog 200 with a
// single static text and edits no property: applying it changes nothing.
#pragma once

#include "control/automation/palvex_com.h"

namespace palvex {

HRESULT CreatePropPageObject(REFIID riid, void** ppv);

} // namespace palvex
