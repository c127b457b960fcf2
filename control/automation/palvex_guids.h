/* The five fixed identifiers of the Palvex control module: its type library,
 * the dispatch interface and the event interface that the library describes,
 * the control class and the property page class. Hosts create the control by
 * CLSID_Palvex; the module registers every one of them under these values.
 *
 * Usable from C and C++. Each identifier is given as a GUID and as the text
 * that the registry keys carry ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}").
 */
#ifndef PALVEX_GUIDS_H
#define PALVEX_GUIDS_H

#include <stdint.h>

#ifndef PALVEX_GUID_DEFINED
#define PALVEX_GUID_DEFINED
/* A 128-bit identifier in the automation layout: Data1 to Data3 in the
 * machine's byte order, Data4 as bytes. */
typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
#endif

/* library PALVEXLib, version 1.0 */
static const GUID LIBID_PALVEXLib = {
    0xF5C17FD6, 0x4428, 0x4CB8, {0xB7, 0xE2, 0xB4, 0xD6, 0x41, 0x3E, 0x1E, 0x27}};
#define PALVEX_LIBID_TEXT "{F5C17FD6-4428-4CB8-B7E2-B4D6413E1E27}"

/* dispinterface _DPalvex: the control's methods */
static const IID DIID__DPalvex = {
    0x16212BB4, 0x6F4E, 0x491F, {0xA9, 0x0D, 0x58, 0x07, 0x18, 0x1B, 0xCC, 0xD8}};
#define PALVEX_DIID_DPALVEX_TEXT "{16212BB4-6F4E-491F-A90D-5807181BCCD8}"

/* dispinterface _DPalvexEvents: no members */
static const IID DIID__DPalvexEvents = {
    0x47932B20, 0x5216, 0x439D, {0x93, 0xD6, 0x14, 0xF3, 0x39, 0xC7, 0x45, 0x8F}};
#define PALVEX_DIID_DPALVEXEVENTS_TEXT "{47932B20-5216-439D-93D6-14F339C7458F}"

/* dispinterface _DPalvexDiagnostics: why the link last failed, for
 * automation hosts (the control's second dispatch interface) */
static const IID DIID__DPalvexDiagnostics = {
    0x0386628B, 0xB051, 0x4C3C, {0x84, 0x1D, 0x4F, 0xD5, 0xE5, 0x5B, 0x5F, 0x56}};
#define PALVEX_DIID_DPALVEXDIAGNOSTICS_TEXT "{0386628B-B051-4C3C-841D-4FD5E55B5F56}"

/* coclass PalvexDiagnostics: not creatable; names _DPalvexDiagnostics for
 * hosts that declare variables by class (Dim d As PalvexDiagnostics) */
static const CLSID CLSID_PalvexDiagnostics = {
    0x9EA50F20, 0x7B9B, 0x4454, {0x8A, 0xCB, 0xC3, 0x7F, 0x14, 0x87, 0x98, 0x82}};
#define PALVEX_DIAGNOSTICS_CLSID_TEXT "{9EA50F20-7B9B-4454-8ACB-C37F14879882}"

/* coclass Palvex: the control, ProgID "PALVEX.PalvexCtrl.1" */
static const CLSID CLSID_Palvex = {
    0xBA4ADFFC, 0x268B, 0x45C6, {0xAD, 0x0C, 0xFD, 0x39, 0x77, 0x9F, 0xBE, 0xDF}};
#define PALVEX_CLSID_TEXT "{BA4ADFFC-268B-45C6-AD0C-FD39779FBEDF}"

/* the property page, ProgID "PALVEX.PalvexPropPage.1" */
static const CLSID CLSID_PalvexPropPage = {
    0xC2004F2E, 0x27FB, 0x477C, {0xB6, 0x95, 0x62, 0x35, 0x28, 0x4F, 0x19, 0x86}};
#define PALVEX_PROPPAGE_CLSID_TEXT "{C2004F2E-27FB-477C-B695-6235284F1986}"

#endif /* PALVEX_GUIDS_H */
