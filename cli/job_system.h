// What palvex's jobs (job_commands.cpp) need from the system: a file named
// by a word, a host name's address and whether the progress report goes to
// a terminal (job_system_linux.cpp, job_system_win32.cpp).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace palvex::cli {

// The file a word of the command line names: its bytes as they are on
// Linux, its UTF-8 on Windows.
std::filesystem::path PathOfWord(const std::string& word);

// The dotted IPv4 address of a host name or address; empty when it has none.
std::string DottedAddress(const std::string& host);

// Whether `stream` is a terminal on which a progress line can be redrawn in
// place ("\r" and the erase-to-the-end sequence).
bool RedrawableTerminal(std::FILE* stream);

} // namespace palvex::cli
