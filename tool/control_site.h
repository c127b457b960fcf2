// The link control as the tool reaches it: one object that answers
// automation calls by dispatch identifier. The control lives in its module,
// loaded at run time by class identifier (the per-user registration, else the
// module installed beside the program); nothing of it is linked into the tool,
// not even its string functions: a string the control hands out goes back to
// the control's module to be freed.
//
// The automation types are the system's (palvex_tool_com_types.h, written by
// CMake, names com_types_linux.h or com_types_win32.h); each system's file
// makes the control:
//   Linux:   control_site_linux.cpp, the module found by class identifier
//            through the per-user store or beside the program (control/host).
//   Windows: control_site_win32.cpp, CoCreateInstance of the registered class
//            in a single-threaded apartment, else Palvex.ocx beside
//            dravel.exe through its DllGetClassObject; SysFreeString.
#pragma once

#include "palvex_tool_com_types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace dravel {

class IControlDispatch {
  public:
    virtual ~IControlDispatch() = default;
    // Automation Invoke: arguments last-first in params, result in *result.
    virtual HRESULT Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                           unsigned* argErr) = 0;
    // Frees a string this control handed out (the property text of
    // QKGetProperty), with the free function of the module that made it.
    virtual void FreeString(BSTR s) = 0;
    // Why the control's link last failed, in the control's own English text
    // ("COM3 open failed: ..."); "" when nothing failed or it cannot tell.
    virtual std::string LastLinkError() = 0;
};

// Makes one instance of the link control for a dialog that hosts it; the
// instance lives as long as the returned object.
using ControlFactory = std::function<std::unique_ptr<IControlDispatch>()>;

// A new control from the loaded module; nullptr (with a message on standard
// error) when no module can be loaded.
std::unique_ptr<IControlDispatch> CreateLinkControl();

// Which module file the controls come from and how it was found.
std::string DescribeControlModule();

} // namespace dravel
