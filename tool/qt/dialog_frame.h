// What every dialog of the tool shares on screen: the template font, "宋体"
// (SimSun) 9 point, and a modal frame of a fixed size.
#pragma once

#include <QStringList>

class QDialog;

namespace dravel {

// The family the templates name.
inline constexpr char kDialogFontFamily[] = "宋体";
inline constexpr int kDialogFontPointSize = 9;

// Song-style fonts that stand in for "宋体" where it is not installed, in the
// order they are tried: SimSun under its Latin name, then AR PL UMing (Debian
// package fonts-arphic-uming), a Ming/Song face with the same square CJK
// cells, so the texts keep the widths the fixed layouts were made for.
QStringList DialogFontFallbacks();

// Registers the fallbacks as Qt's substitutes for "宋体" (once per process;
// before any dialog font is resolved).
void InstallDialogFontSubstitutes();

// Qt's own texts (the standard buttons, "确定" and "取消") in Simplified
// Chinese, as the tool's texts are, whatever the system's locale: Qt's
// qtbase_zh_CN.qm from its translations folder (Debian's
// qt6-translations-l10n). Once per application; nothing changes when the
// file is missing. Needs the application object.
void InstallQtTranslations();

// Turns a dialog loaded from its layout into the template's frame: the
// dialog font (asked for by family, with its fallbacks), a caption with the
// system menu and a close box but no minimise, maximise or help box, and a
// size fixed at the layout's size (no size grip, no resizing).
void ApplyDialogFrame(QDialog* dialog);

} // namespace dravel
