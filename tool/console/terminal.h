// What the console commands need from the system they run on: the program's
// words, the standard streams, whether someone sits at the terminal, and the
// terminal's echo. Each system's file defines these:
//   Linux:   terminal_linux.cpp: argv as it is (UTF-8), std::cout and
//            std::cerr, isatty, termios.
//   Windows: terminal_win32.cpp: the words from GetCommandLineW as UTF-8;
//            the UTF-8 text written to a console with WriteConsoleW, and
//            to a file or pipe in the console's output code page
//            (GetConsoleOutputCP), or as UTF-8 when the program has no
//            console at all; input read likewise (ReadConsoleW, else the
//            console's input code page); the console's input mode; the
//            parent's console (AttachConsole) for the handles dravel.exe,
//            a windowed program, was not given.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace dravel {

// Before a command runs: a program given none of its standard handles (a
// windowed program started from a console window) takes the console of the
// process that started it, so the command's text reaches that window and
// its answers come from there. Handles redirected to a file or pipe stay as
// they are. On Linux the streams are always there: nothing to do.
void UseParentConsole();

// The program's arguments without its name, as UTF-8 words.
std::vector<std::string> ProgramWords(int argc, char** argv);

// Standard input, giving UTF-8 text; standard output and standard error,
// taking UTF-8 text.
std::istream& ConsoleIn();
std::ostream& ConsoleOut();
std::ostream& ConsoleErr();

// Standard input is a terminal (a console on Windows): someone can answer.
bool InputIsTerminal();

// The terminal's echo off for as long as the object lives (when active and
// standard input is a terminal).
class CEchoOff {
  public:
    explicit CEchoOff(bool active);
    ~CEchoOff();
    CEchoOff(const CEchoOff&) = delete;
    CEchoOff& operator=(const CEchoOff&) = delete;

  private:
    struct SSaved; // the terminal's settings before, each system's own
    std::unique_ptr<SSaved> m_saved;
};

} // namespace dravel
