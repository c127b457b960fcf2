// Every text the configuration tool shows, in one place. The dialogs' fixed
// labels are in the .ui layouts beside this file.
#pragma once

namespace dravel::text {

// Main dialog.
inline constexpr const char* kMainCaption = "通讯屏D卡配置程序 V2.0f";
inline constexpr const char* kScreenItemFormat = "%4d";
inline constexpr const char* kSizeItemFormat = "%5d";
inline constexpr const char* kCardTypeD = "D型";
inline constexpr const char* kVersionFormat = "%c.%c%c";

// Status box: instructions, card found, searching (the last character of the
// searching text turns between '/' and '\' on successive ticks).
inline constexpr const char* kStatusInstructions =
    "\n\n请用串口线连接控制卡与计算机\n\n打开控制卡电源，然后按 [查找] 键";
inline constexpr const char* kStatusFoundFormat =
    "\n在串口Com%d(波特率:%d)\n\n找到 %s %s 版通讯屏控制卡\n\n生产日期:%04X年%02X月%02X日";
inline constexpr const char* kStatusSearchingFormat = "\n\n\n在 [Com%d] 上查找通讯屏控制卡.../";

// Configure procedure.
inline constexpr const char* kConfigureCaption = "用户配置";
inline constexpr const char* kConfigSucceeded = "配置成功!";
inline constexpr const char* kConfigFailed = "配置失败!";

// Warning gate.
inline constexpr const char* kWarningMessage = "非工程技术人员，请勿运行本程序！";

// Forced configuration.
inline constexpr const char* kForceCaption = "强行配置";
inline constexpr const char* kForceTypeD = "  D型";
inline constexpr const char* kForcePortFormat = " Com%d ";
inline constexpr const char* kForceBaudItems[] = {"  9600", " 14400", " 28800", " 38400", " 57600"};
inline constexpr const char* kForceBaudFormat = "%6d";
inline constexpr const char* kForceVersion = " 2.xx  ";

// No control could be made: the program ends after this message, before any
// dialog. %1 is how to register the control, %2 the control's file, %3 this
// program's file (control_help_*.cpp, each system's own).
inline constexpr const char* kNoControlCaption = "通讯屏配置程序";
inline constexpr const char* kNoControlFormat = "无法创建通讯控件 Palvex，本程序不能运行。\n\n"
                                                "请用下面任一种方法解决，然后重新启动本程序：\n\n"
                                                "1. 注册控件：%1\n\n"
                                                "2. 把控件文件 %2 复制到本程序 %3 所在的文件夹中。";

// Validation of a number field.
inline constexpr const char* kPromptPositiveInteger = "“请填入一个正整数。”";
inline constexpr const char* kPromptIntegerRange = "“请填入一个在%1和%2之间的整数。”";

} // namespace dravel::text
