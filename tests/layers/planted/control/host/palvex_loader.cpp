// Crosses: the host side reaches into the module beyond its public headers.
#include "control/automation/com_support.h"
#include "control/automation/control_object.h"
