// Identifiers of the dialogs and of their controls. The layouts in the .ui
// files carry the same numbers in each widget's "controlId" property.
#pragma once

namespace dravel {

// Dialog results and the two standard buttons. The Windows headers, which the
// control's types bring in there, define both names as macros of these same
// numbers; elsewhere they are defined here.
#ifndef IDOK
constexpr int IDOK = 1;
#endif
#ifndef IDCANCEL
constexpr int IDCANCEL = 2;
#endif

// Dialog templates.
constexpr int IDD_DRAVEL_DIALOG = 102;
constexpr int IDD_PASSWORD = 131;
constexpr int IDD_FORCE_SETUP = 132;
constexpr int IDD_WARNING = 134;

// Icons: the program's (main dialog) and the warning gate's sign.
constexpr int IDI_DRAVEL = 128;
constexpr int IDI_WARNING_SIGN = 137;

// Main dialog (102).
constexpr int IDC_SCREEN = 1000;
constexpr int IDC_WIDTH = 1006;
constexpr int IDC_HEIGHT = 1008;
constexpr int IDC_MODULE_8X8 = 1009;
constexpr int IDC_MODULE_8X4 = 1010;
constexpr int IDC_LEFT_TO_RIGHT = 1018;
constexpr int IDC_EVEN_COL_REVERSE = 1019;
constexpr int IDC_DATA_INVERT = 1020;
constexpr int IDC_BLANK_INVERT = 1021;
constexpr int IDC_ODD_COL_REVERSE = 1022;
constexpr int IDC_ROW8_REVERSE = 1023;
constexpr int IDC_SEARCH = 1028;
constexpr int IDC_CONFIGURE = 1029;
constexpr int IDC_STATUS = 1030;
constexpr int IDC_ROW_SWAP = 1033;
constexpr int IDC_LINK = 1035;

// Password dialog (131).
constexpr int IDC_PASSWORD = 1004;

// Forced-configuration dialog (132).
constexpr int IDC_FORCE_NUMBER = 1000;
constexpr int IDC_FORCE_TYPE = 1001;
constexpr int IDC_FORCE_PORT = 1002;
constexpr int IDC_FORCE_BAUD = 1003;
constexpr int IDC_FORCE_VERSION = 1032;

// The search timer of the main dialog.
constexpr unsigned kSearchTimerId = 13;
constexpr unsigned kSearchTimerPeriodMs = 100;

} // namespace dravel
