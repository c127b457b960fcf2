// A pseudo-terminal whose slave side a test maps to a COM port number, so
// the control opens a real terminal device while the test plays the card on
// the master side.
#pragma once

#include "platform/unique_fd.h"

#include <string>
#include <vector>

namespace testing_support {

class CPtyPair {
public:
    CPtyPair();
    ~CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    int Master() const { return m_master.Get(); }
    const std::string& SlavePath() const { return m_slavePath; }
    // Points PALVEX_COM<n> at the slave for the life of this object.
    void MapToPort(int n);
    // Speed the slave side is set to, as the master sees it.
    unsigned LineSpeed() const;
    // Reads exactly n bytes from the master within ms; fewer on time-out.
    std::vector<unsigned char> ReadMaster(std::size_t n, int ms) const;
    void WriteMaster(const std::vector<unsigned char>& bytes) const;
    // Waits until at least n bytes wait in the slave's input queue.
    bool WaitSlaveInput(int n, int ms) const;
    void CloseMaster();

private:
    palvex::CUniqueFd m_master;
    palvex::CUniqueFd m_slaveHold; // keeps the terminal alive between the control's opens
    std::string m_slavePath;
    std::string m_envName;
};

} // namespace testing_support
