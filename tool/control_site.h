// The link control as the tool reaches it: one object that answers
// automation calls by dispatch identifier. Today the control is compiled into
// the program; a module loaded at run time by class identifier can stand
// behind the same interface without any change to the dialogs or the proxy.
#pragma once

#include "control/automation/oleauto.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace dravel {

class IControlDispatch {
public:
    virtual ~IControlDispatch() = default;
    // Automation Invoke: arguments last-first in params, result in *result.
    virtual HRESULT Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                           unsigned* argErr) = 0;
};

// Makes one instance of the link control for a dialog that hosts it; the
// instance lives as long as the returned object.
using ControlFactory = std::function<std::unique_ptr<IControlDispatch>()>;

// The control compiled into the program.
std::unique_ptr<IControlDispatch> CreateLinkControl();

} // namespace dravel
