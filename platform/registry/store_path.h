// Where the Linux store lives and how its root directories are reached.
#pragma once

#include "platform/registry/registry.h"
#include "platform/unique_fd.h"

#include <string>

namespace palvex::reg {

// The directory that holds the whole store, or "" when neither
// XDG_CONFIG_HOME (absolute) nor HOME names a place for it.
std::string StoreDirectory();

// Maps errno to a status code.
LSTATUS StatusFromErrno(int err);

// Opens the directory of a root, creating the store and the root directory
// (mode 0700) when `create` is set. Sets `status` and returns an invalid
// descriptor on failure.
CUniqueFd OpenRootDirectory(Root root, bool create, LSTATUS& status);

} // namespace palvex::reg
