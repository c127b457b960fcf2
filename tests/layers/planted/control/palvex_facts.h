// Crosses: the facts header depends on the protocol layer.
#include "control/protocol/types.h"
