// Text handling for a Hayes modem's answers: line-end normalisation and the
// choice of the answer line. Pure functions, no I/O.
#pragma once

#include <cstddef>

// Copies src to dst (capacity dstSize, at least 2), turning every run of CR
// and LF characters into one CR and making the text end in CR. The result is
// always zero-terminated; text that does not fit is cut, keeping the final CR.
void NormalizeModemReply(const char* src, char* dst, std::size_t dstSize);

// Splits `text` at CR into non-empty lines, as strtok with the delimiter CR
// does, and returns the line at index `index` (0-based) in out (capacity
// outSize), or false when there is no such line.
bool ModemReplyLine(const char* text, int index, char* out, std::size_t outSize);
