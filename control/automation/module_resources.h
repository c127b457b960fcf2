// The module's resources as its code reads them, on every system: the
// string table and the type library's names and help texts, from the one
// list of the module's facts (module_facts.h) that the Windows resource
// script reads too.
#pragma once

#include "control/automation/module_facts.h"

#include <cstdint>

namespace palvex::res {

// String table.
constexpr int IDS_PALVEX = PALVEX_IDS_CONTROL;      // the control's type name
constexpr int IDS_PALVEX_PPG = PALVEX_IDS_PROPPAGE; // the property page's type name
constexpr int IDS_PALVEX_PPG_CAPTION = PALVEX_IDS_PROPPAGE_CAPTION;

// String 1, also the control class's help text in the type library.
constexpr const char* kControlTypeName = PALVEX_TEXT_CONTROL;

// The text of a string id, or nullptr for an id the table lacks.
const char* ModuleString(int id);

// The type library's names and help texts.
constexpr const char* kLibraryName = PALVEX_TYPELIB_NAME;
constexpr const char* kLibraryHelp = PALVEX_TYPELIB_HELP;
constexpr const char* kHelpFile = PALVEX_TYPELIB_HELP_FILE;
constexpr const char* kDispatchName = PALVEX_DISPATCH_NAME;
constexpr const char* kDispatchHelp = PALVEX_DISPATCH_HELP;
constexpr const char* kEventsName = PALVEX_EVENTS_NAME;
constexpr const char* kEventsHelp = PALVEX_EVENTS_HELP;
constexpr const char* kCoclassName = PALVEX_COCLASS_NAME;
constexpr const char* kDiagnosticsName = PALVEX_DIAGNOSTICS_NAME;
constexpr const char* kDiagnosticsHelp = PALVEX_DIAGNOSTICS_HELP;
constexpr const char* kDiagnosticsCoclassName = PALVEX_DIAGNOSTICS_COCLASS_NAME;
constexpr std::uint16_t kLibraryMajor = PALVEX_TYPELIB_MAJOR;
constexpr std::uint16_t kLibraryMinor = PALVEX_TYPELIB_MINOR;
constexpr const char* kLibraryVersion = PALVEX_TYPELIB_VERSION_TEXT;

// Dialog 200, the property page.
constexpr int IDD_PROPPAGE_PALVEX = PALVEX_IDD_PROPPAGE;

} // namespace palvex::res
