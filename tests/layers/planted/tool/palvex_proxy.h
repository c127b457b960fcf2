// Crosses: the tool reaches the command families.
#include "tool/settings_key.h"
#include "control/automation/palvex_com.h"
#include "ui_main_dialog.h"
#include "control/commands/command_set.h"
