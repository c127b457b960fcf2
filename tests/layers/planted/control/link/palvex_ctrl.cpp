// Crosses: the link reaches up into the dispatch table.
#include "control/commands/command_set.h"
#include "platform/registry/registry.h"
#include "control/automation/dispatch_table.h"
