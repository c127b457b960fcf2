// The open socket of the network link on Linux: a descriptor. Defined here
// rather than in link_socket_linux.cpp so that a test can give the socket's
// calls a descriptor of its own (a socket pair).
#pragma once

#include "control/link/socket_calls.h"
#include "platform/unique_fd.h"

namespace palvex {

struct SOpenSocket {
    CUniqueFd fd;
};

} // namespace palvex
