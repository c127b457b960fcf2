// Line settings through the Linux termios2 interface, kept in a file of their
// own because <asm/termbits.h> cannot share a translation unit with <termios.h>.
#pragma once

#include "control/link/line_settings.h"
#include "control/protocol/link_error.h"

namespace palvex {

// Raw 8 data bits, no parity, one stop bit at exactly `baud` bit/s (BOTHER, so
// 14400 and 28800 work although no classic constant exists for them). Hardware
// flow control stays as the port has it. Returns false when the descriptor is
// not a terminal or the settings are refused; `why`, when given, then says
// which (not a serial device, or the speed refused).
bool SetRaw8N1(int fd, unsigned baud, LinkError* why = nullptr);

// The output speed the line is set to, read through termios2. On a pty master
// this is the speed the slave side chose.
bool GetLineSpeed(int fd, unsigned* baud);

// Raw mode with no speed change (used on the simulated card's own side).
bool MakeRawNoSpeedChange(int fd);

// Keeps the line settings of the terminal `fd` (all of termios2: modes,
// control characters, speeds) in `saved`. False, with `saved` marked as
// holding nothing, when `fd` is no terminal.
bool SaveLineSettings(int fd, SSavedLineSettings& saved);
// Sets the terminal back to `saved` at once, without waiting for output to
// drain (a line stopped by flow control must not hold the close). False when
// nothing was saved or the terminal refused them.
bool RestoreLineSettings(int fd, const SSavedLineSettings& saved);

} // namespace palvex
