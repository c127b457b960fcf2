// Fault: a portable header reaches a file of one operating system.
#include "platform/os/descriptor_linux.h"
#include <string>
