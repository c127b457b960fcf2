// Notices when the last process holding the simulated modem's serial port
// (the slave side of the pty) closes it, which on a real port drops DTR. A
// pty has no modem control lines, so opens and closes are watched with
// inotify and counted: the simulator's own hold on the slave, taken before
// the watch starts, is not among them.
#pragma once

#include "sim/unique_fd.h"

#include <string>

namespace cardsim {

class CPortCloseWatch {
public:
    // Starts watching `device`; false with a message when inotify refuses.
    bool Watch(const std::string& device, std::string& error);
    // The descriptor to poll for input; -1 while nothing is watched.
    int Fd() const { return m_fd.Get(); }
    // Reads the pending notifications; returns how many times they show the
    // port closed by its last holder.
    int TakeLastCloses();

private:
    CUniqueFd m_fd;
    int m_holders = 0; // opens not yet closed
};

} // namespace cardsim
