// Fault: a portable file calls the system itself.
#include "control/link/serial_line.h"
#include <poll.h>
#include <cstring>
