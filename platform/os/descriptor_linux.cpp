#include "platform/unique_fd.h"

#include <unistd.h>

namespace palvex {

int CUniqueFd::Close(int fd) { return ::close(fd); }

} // namespace palvex
