// Crosses: the platform reaches the tool.
#include "platform/registry/store_path.h"
#include "tool/settings_key.h"
