// The link control as the tool reaches it: one hosted control per dialog
// that hosts it (control/host/hosted_control.h), made from the module found
// by class identifier and called by dispatch identifier; nothing of the
// control is linked into the tool, not even its string functions: a string
// the control hands out goes back to the control's module to be freed.
#pragma once

#include "control/host/hosted_control.h"

#include <functional>
#include <memory>
#include <string>

namespace dravel {

using palvex::host::IHostedControl;

// Makes one instance of the link control for a dialog that hosts it; the
// instance lives as long as the returned object.
using ControlFactory = std::function<std::unique_ptr<IHostedControl>()>;

// A new control; nullptr (with a message on standard error) when no module
// can give one.
std::unique_ptr<IHostedControl> CreateLinkControl();

// Which module file the last control came from and how it was found.
std::string DescribeControlModule();

} // namespace dravel
