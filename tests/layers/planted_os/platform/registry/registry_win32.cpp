// Passes: a file of one operating system uses its headers and its own kind.
#include "platform/os/text_win32.h"
#include <windows.h>
