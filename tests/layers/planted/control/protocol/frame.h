// Crosses: the frame layer reaches up into the command families.
#include "control/protocol/crc16.h"
#include "control/commands/command_set.h"
#include <vector>
