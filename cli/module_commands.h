// The commands of palvex that work on the control module rather than call
// the control's methods (run by each system's file, cli/program.h):
//
//   palvex [--verbose] register [MODULE]   DllRegisterServer of MODULE, or of
//                                          the module beside palvex
//   palvex [--verbose] unregister          DllUnregisterServer of the module in use
//   palvex [--verbose] typelib             the module's type library as IDL
//   palvex [--verbose] draw FILE.png [WIDTHxHEIGHT]
//                                          the control's design-time picture
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace palvex::cli {

struct ModuleCommand {
    enum Kind { None, Register, Unregister, TypeLib, Draw } kind = None;
    bool verbose = false;
    std::string modulePath; // register: the file given
    std::string pngPath;    // draw
    unsigned width = 200;   // draw
    unsigned height = 100;
};

// Recognises a module command: leading --verbose, then one of the four
// words. kind stays None for any other line. False with a message for a
// module command with wrong arguments.
bool ParseModuleCommand(std::span<const std::string_view> words, ModuleCommand& out,
                        std::string& error);

// The last step of draw on either system: the drawn RGBA pixels written to
// the command's file, then "palvex: wrote FILE (W x H)" on `out`. 0, or 2
// with the reason on `err`.
int WriteDrawnPicture(const ModuleCommand& command, const std::vector<std::uint8_t>& rgba,
                      std::FILE* out, std::FILE* err);

} // namespace palvex::cli
