// Setting up the descriptors the simulated card listens on: a pseudo
// terminal reachable through a symbolic link, and a loopback TCP socket.
#pragma once

#include "sim/unique_fd.h"

#include <string>

namespace cardsim {

struct PtyPair {
    CUniqueFd master;    // the card's end, non-blocking
    CUniqueFd slave;     // held open so the master never sees a hang-up
    std::string slaveName; // /dev/pts/N
};

// Opens a pty pair, puts both sides in raw mode without touching the speed.
bool OpenPtyPair(PtyPair& pty, std::string& error);

// Makes linkPath a symbolic link to target. An existing symbolic link there is
// replaced; any other kind of file is left alone and the call fails.
bool PointSymlink(const std::string& linkPath, const std::string& target, std::string& error);

// Removes linkPath if it is still a symbolic link to target.
void RemoveSymlinkTo(const std::string& linkPath, const std::string& target);

// A non-blocking listening socket on 127.0.0.1:port (0: any free port);
// boundPort receives the port actually used.
CUniqueFd ListenLoopback(unsigned port, unsigned& boundPort, std::string& error);

} // namespace cardsim
