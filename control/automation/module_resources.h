// The module's resources: its string table, the type library's texts, the
// property page's dialog and the version block. Everything a host may read is also
// reachable through the module's interfaces or its C functions.
#pragma once

#include "control/automation/palvex_c.h"
#include "control/automation/palvex_com.h"

#include <cstdint>

namespace palvex::res {

// String table.
constexpr int IDS_PALVEX = 1;     // the control's type name
constexpr int IDS_PALVEX_PPG = 2; // the property page's type name
constexpr int IDS_PALVEX_PPG_CAPTION = 200;

// String 1, also the control class's help text in the type library.
constexpr const char* kControlTypeName = "Palvex Control";

// The text of a string id, or nullptr for an id the table lacks.
const char* LoadString(int id);

// The type library's names and help texts.
constexpr const char* kLibraryName = "PALVEXLib";
constexpr const char* kLibraryHelp = "Palvex ActiveX Control module";
constexpr const char* kHelpFile = "Palvex.hlp";
constexpr const char* kDispatchName = "_DPalvex";
constexpr const char* kDispatchHelp = "Dispatch interface for Palvex Control";
constexpr const char* kEventsName = "_DPalvexEvents";
constexpr const char* kEventsHelp = "Event interface for Palvex Control";
constexpr const char* kCoclassName = "Palvex";
constexpr std::uint16_t kLibraryMajor = 1;
constexpr std::uint16_t kLibraryMinor = 0;

// Dialog 200, the property page.
constexpr int IDD_PROPPAGE_PALVEX = 200;
const PALVEX_DIALOG& PropPageDialog();

const palvex_version_info& VersionInfo();

} // namespace palvex::res
