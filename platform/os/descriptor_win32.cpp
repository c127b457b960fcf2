#include "platform/unique_fd.h"

#include <io.h>

namespace palvex {

// The C runtime's descriptors, which Windows keeps apart from its handles.
int CUniqueFd::Close(int fd) {
    return ::_close(fd);
}

} // namespace palvex
