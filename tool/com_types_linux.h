// The automation types of the tool on Linux: the control module's own binary
// interface.
#pragma once

#include "control/automation/palvex_com.h"
