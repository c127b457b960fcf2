// Crosses: the simulated card takes the control's CRC.
#include "sim/frame_parser.h"
#include "control/protocol/crc16.h"
