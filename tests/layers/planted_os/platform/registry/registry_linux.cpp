// Fault: a file of one operating system reaches a file of another.
#include "platform/os/text_win32.h"
#include <fcntl.h>
