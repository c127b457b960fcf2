// What a control object offers that differs by system: on Linux the
// design-time picture on a host's canvas and the facts a container asks for
// (IPalvexControl, control_parts_linux.cpp); on Windows the interfaces a
// container uses to place the control on a form, activate it, draw it, save
// it in a storage or a property bag and show its page (COleControlParts,
// ole_control_win32.h). The control object (control_object.cpp) holds one
// and asks it for any interface it does not answer itself; the parts' own
// IUnknown is the control object's, so the control has one identity and one
// reference count.
#pragma once

#include "control/automation/com_support.h"

#include <cstdint>
#include <memory>

namespace palvex {

// The control's size on its container's form, in HIMETRIC (0.01 mm): what a
// container sets (IOleObject::SetExtent on Windows) and what the control
// keeps with the document after its version stamp. 1 x 0.5 inch until set.
struct SControlExtent {
    std::int32_t cx = 2540;
    std::int32_t cy = 1270;
    bool operator==(const SControlExtent&) const = default;
};

class IControlParts {
  public:
    virtual ~IControlParts() = default;
    // The part that answers riid, or nullptr; the control object adds the
    // reference.
    virtual void* Find(REFIID riid) = 0;
};

// The parts of a new control object whose IUnknown is `outer` and whose
// extent is `extent` (the object's, which outlives the parts). Throws
// std::bad_alloc when there is no memory for them.
std::unique_ptr<IControlParts> CreateControlParts(IUnknown& outer, SControlExtent& extent);

// The type information of one of the control's dispatch interfaces
// (_DPalvex, _DPalvexDiagnostics) that IDispatch::GetTypeInfo gives (one
// reference): the module's type library on Windows, the description
// generated from the dispatch table on Linux (type_info_linux.cpp, which
// describes _DPalvex alone).
HRESULT DispatchTypeInfo(REFIID iid, ITypeInfo** info);

} // namespace palvex
