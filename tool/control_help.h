// What a user does when the tool finds no link control, in this system's
// words: how the control is registered and which files to put side by side
// (control_help_linux.cpp, control_help_win32.cpp). The message around them
// is the same everywhere (text::kNoControlFormat).
#pragma once

namespace dravel {

struct SControlHelp {
    const char* registerSteps; // how to register the control, as a user does it
    const char* moduleFile;    // the control's file
    const char* programFile;   // this program's file
};

const SControlHelp& ControlHelp();

} // namespace dravel
