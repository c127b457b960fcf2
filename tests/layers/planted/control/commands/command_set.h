// Crosses: a command family reaches up into the link.
#include "control/protocol/exchange.h"
#include "control/link/palvex_ctrl.h"
