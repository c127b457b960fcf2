/* The module's own facts, in one place for its code on every system and for
 * the Windows resource script (palvex_win32.rc), which the resource
 * compiler reads with the C preprocessor: so only macros, ASCII only.
 *
 *   strings         the string table: the type names and the page's caption
 *   dialog 200      the property page: its size, font and one static text
 *   version block   file and product version, names
 *   type library    names and help texts of PALVEXLib and its types
 */
#ifndef PALVEX_MODULE_FACTS_H
#define PALVEX_MODULE_FACTS_H

#include "palvex_version.h" /* generated from the project's version */

/* String table */
#define PALVEX_IDS_CONTROL 1         /* the control's type name */
#define PALVEX_IDS_PROPPAGE 2        /* the property page's type name */
#define PALVEX_IDS_PROPPAGE_CAPTION 200
#define PALVEX_TEXT_CONTROL "Palvex Control"
#define PALVEX_TEXT_PROPPAGE "Palvex Property Page"
#define PALVEX_TEXT_PROPPAGE_CAPTION "General"

/* Dialog 200, the property page, in dialog units */
#define PALVEX_IDD_PROPPAGE 200
#define PALVEX_PROPPAGE_CX 250
#define PALVEX_PROPPAGE_CY 62
#define PALVEX_PROPPAGE_FONT "MS Sans Serif"
#define PALVEX_PROPPAGE_POINTS 8
#define PALVEX_PROPPAGE_TEXT "TODO: Place controls to manipulate properties of Palvex Control on this dialog."
#define PALVEX_PROPPAGE_TEXT_X 7
#define PALVEX_PROPPAGE_TEXT_Y 25
#define PALVEX_PROPPAGE_TEXT_CX 229
#define PALVEX_PROPPAGE_TEXT_CY 16

/* Toolbox bitmap */
#define PALVEX_IDB_TOOLBOX 1

/* Version block */
#define PALVEX_MODULE_VERSION PALVEX_VERSION_NUMBERS
#define PALVEX_MODULE_VERSION_TEXT PALVEX_VERSION_NUMBERS_TEXT
#define PALVEX_MODULE_DESCRIPTION "Palvex ActiveX Control Module"
#define PALVEX_MODULE_INTERNAL_NAME "Palvex"
#define PALVEX_MODULE_FILE_NAME "Palvex.OCX"
#define PALVEX_MODULE_LANGUAGE 0x0409  /* US English */
#define PALVEX_MODULE_CODE_PAGE 0x04b0 /* Unicode */

/* The type library */
#define PALVEX_TYPELIB_NAME "PALVEXLib"
#define PALVEX_TYPELIB_HELP "Palvex ActiveX Control module"
#define PALVEX_TYPELIB_HELP_FILE "Palvex.hlp"
#define PALVEX_TYPELIB_MAJOR 1
#define PALVEX_TYPELIB_MINOR 0
#define PALVEX_TYPELIB_VERSION_TEXT "1.0"
#define PALVEX_DISPATCH_NAME "_DPalvex"
#define PALVEX_DISPATCH_HELP "Dispatch interface for Palvex Control"
#define PALVEX_EVENTS_NAME "_DPalvexEvents"
#define PALVEX_EVENTS_HELP "Event interface for Palvex Control"
#define PALVEX_COCLASS_NAME "Palvex"
#define PALVEX_DIAGNOSTICS_NAME "_DPalvexDiagnostics"
#define PALVEX_DIAGNOSTICS_HELP "Why the link of Palvex Control last failed"
#define PALVEX_DIAGNOSTICS_COCLASS_NAME "PalvexDiagnostics"

/* ProgIDs */
#define PALVEX_CONTROL_PROGID "PALVEX.PalvexCtrl.1"
#define PALVEX_PROPPAGE_PROGID "PALVEX.PalvexPropPage.1"

#endif /* PALVEX_MODULE_FACTS_H */
