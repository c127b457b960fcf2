// Passes: the module sees every layer below it and the host side.
#include "control/link/palvex_ctrl.h"
#include "control/host/palvex_loader.h"
#include "palvex_guids.h"
