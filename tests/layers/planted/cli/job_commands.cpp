// Crosses: the command line reaches the link instead of loading the module.
#include "cli/cli_args.h"
#include "control/host/palvex_loader.h"
#include "control/palvex_facts.h"
#include "sim/snapshot.h"
#include "control/link/palvex_ctrl.h"
