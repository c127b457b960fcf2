// The simulated card uses the project's one descriptor owner (header only:
// nothing of the control is linked).
#pragma once

#include "platform/unique_fd.h"

namespace cardsim {

using palvex::CUniqueFd;

} // namespace cardsim
