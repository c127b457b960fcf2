// The simulated card's own line settings on its pseudo terminal, through the
// Linux termios2 interface (which carries any speed, 14400 and 28800 too). In
// a file of its own because <asm/termbits.h> cannot share a translation unit
// with <termios.h>.
#pragma once

namespace cardsim {

// Raw 8-bit mode with the speed left as it is: no echo, no line editing, no
// signals, no translation, no software flow control. False when the
// descriptor is not a terminal or the settings are refused.
bool MakeLineRaw(int fd);

// The output speed the line is set to. On a pty master this is the speed the
// slave side (the control) chose.
bool ReadLineSpeed(int fd, unsigned* baud);

} // namespace cardsim
