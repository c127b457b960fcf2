// Crosses: a public header of the module names its inside.
#include "control/automation/palvex_com.h"
#include "control/link/palvex_ctrl.h"
