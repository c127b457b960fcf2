// Where the control module's registration lives in the per-user store: the
// class keys of the current user, HKEY_CURRENT_USER\SOFTWARE\Classes, laid
// out as the system registry lays out an in-process server:
//
//   CLSID\{class}                 @ type name, ProgID, InprocServer32 (@ module
//                                 path, ThreadingModel), and for the control:
//                                 Control, MiscStatus (@ "0", 1\@ status),
//                                 ToolboxBitmap32, TypeLib, Version
//   <ProgID>                      @ type name, CLSID\@ class
//   TypeLib\{library}\1.0         @ help string, FLAGS, HELPDIR, 0\linux\@ path
//   Interface\{interface}         @ name, TypeLib (@ library, Version)
//
// Both the module (which writes it) and hosts (which read InprocServer32 to
// find the module) use these names.
#pragma once

#include "control/automation/com_support.h"
#include "control/automation/module_facts.h"
#include "platform/registry/registry.h"

#include <string>

namespace palvex::layout {

constexpr reg::Root kRoot = reg::Root::CurrentUser;
constexpr const char* kClassesKey = "SOFTWARE\\Classes";

constexpr const char* kControlProgId = PALVEX_CONTROL_PROGID;
constexpr const char* kPropPageProgId = PALVEX_PROPPAGE_PROGID;
constexpr const char* kInprocServer = "InprocServer32";
constexpr const char* kTypeLibVersion = "1.0";

// Below kClassesKey.
inline std::string ClassKey(const CLSID& clsid) {
    return "CLSID\\" + GuidText(clsid);
}
inline std::string TypeLibKey(const GUID& libid) {
    return "TypeLib\\" + GuidText(libid);
}
inline std::string InterfaceKey(const IID& iid) {
    return "Interface\\" + GuidText(iid);
}

// Full path below kRoot.
inline std::string UnderClasses(const std::string& subKey) {
    return std::string(kClassesKey) + "\\" + subKey;
}

} // namespace palvex::layout
