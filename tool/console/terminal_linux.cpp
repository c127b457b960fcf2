// The console commands' terminal on Linux: the words as given, the standard
// streams as they are, termios for the echo.
#include "tool/console/terminal.h"

#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace dravel {

struct CEchoOff::SSaved {
    termios settings{};
};

void UseParentConsole() {}

std::vector<std::string> ProgramWords(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::istream& ConsoleIn() {
    return std::cin;
}

std::ostream& ConsoleOut() {
    return std::cout;
}

std::ostream& ConsoleErr() {
    return std::cerr;
}

bool InputIsTerminal() {
    return ::isatty(STDIN_FILENO) != 0;
}

CEchoOff::CEchoOff(bool active) {
    auto saved = std::make_unique<SSaved>();
    if (!active || ::tcgetattr(STDIN_FILENO, &saved->settings) != 0) return;
    termios quiet = saved->settings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0) m_saved = std::move(saved);
}

CEchoOff::~CEchoOff() {
    if (m_saved) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved->settings);
}

} // namespace dravel
