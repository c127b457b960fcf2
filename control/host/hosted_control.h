// The link control as a host program holds it, one way for every host
// (palvex and dravel, on Linux and Windows): make it, call a method by
// identifier or by name, free a string it handed out, ask why its link last
// failed, and say which module it came from.
//
// Making the control is the system's (hosted_control_linux.cpp: the module
// found by class identifier through the per-user store, beside the program
// or in the build tree, and loaded by the host-side loader;
// hosted_control_win32.cpp: CoCreateInstance of the registered class in a
// single-threaded apartment, else the Palvex.ocx beside the program through
// its own class factory). Everything else is the same over the system's
// IDispatch.
#pragma once

#include "control/automation/com_support.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace palvex::host {

class IHostedControl {
  public:
    virtual ~IHostedControl() = default;
    // IDispatch::Invoke as a method: arguments last-first in params, the
    // result in `result`, the refused argument's index in rgvarg in argErr.
    virtual HRESULT Invoke(DISPID id, DISPPARAMS& params, VARIANT& result, unsigned& argErr) = 0;
    // IDispatch::GetIDsOfNames for one ASCII name.
    virtual HRESULT IdOfName(std::string_view name, DISPID& id) = 0;
    // Frees a string this control handed out (a result, a by-reference
    // string, a name of its type information), through the allocator of the
    // module that made it. Null is no string.
    virtual void FreeString(BSTR s) = 0;
    // Why the control's link last failed, in the control's own English text
    // ("COM3 open failed: ..."); "" when nothing failed or it cannot tell.
    virtual std::string LastLinkError() = 0;
    // The module's file (the class identifier when the system names none)
    // and how it was found: "registered for the class", "installed beside
    // the program", "from the build tree".
    virtual const std::string& ModulePath() const = 0;
    virtual const char* ModuleSource() const = 0;
    // The control's dispatch interface, for what else a host asks of it (its
    // type information); null for a stand-in that has none.
    virtual IDispatch* Dispatch() = 0;
};

// Where a program of a build tree may find the module built with it, when
// none is registered or installed: `module`, used only while the running
// program lies below `buildDir`. Empty: nowhere but the system's places.
struct HostOptions {
    std::string buildDir;
    std::string buildTreeModule;
};

// A new control (the system's file). Null, with what was tried in `error`,
// when none can be made. On Linux the module is looked for once per process
// and stays loaded while any control made from it lives; the first call's
// options hold for the process.
std::unique_ptr<IHostedControl> CreateHostedControl(const HostOptions& options,
                                                    std::string& error);

// A hosted control over a dispatch interface the caller made: `freeString`
// frees the strings its module hands out, `keepAlive` holds whatever keeps
// that module loaded (released after the control).
std::unique_ptr<IHostedControl> HostDispatch(ComPtr<IDispatch> dispatch,
                                             std::function<void(BSTR)> freeString,
                                             std::string modulePath, const char* source,
                                             std::shared_ptr<void> keepAlive = {});

// The calls of IHostedControl on any dispatch interface.
HRESULT InvokeMethod(IDispatch& control, DISPID id, DISPPARAMS& params, VARIANT& result,
                     unsigned& argErr);
// IPalvexDiagnostics::GetLastLinkError; "" when nothing failed or the
// control has no diagnostics.
std::string LastLinkError(IDispatch& control);

} // namespace palvex::host
