// The cardsim program started for one test: a simulated card on a TCP port
// of the loopback interface, stopped when the object goes.
#pragma once

#include <string>
#include <sys/types.h>

namespace automation_test {

class CardsimProcess {
  public:
    // Starts `program --tcp 0` and reads the port it reports.
    explicit CardsimProcess(const std::string& program);
    ~CardsimProcess();
    CardsimProcess(const CardsimProcess&) = delete;
    CardsimProcess& operator=(const CardsimProcess&) = delete;

    // 0 when the card did not start.
    unsigned Port() const { return m_port; }

  private:
    pid_t m_pid = -1;
    int m_out = -1; // the program's output, open while it runs
    unsigned m_port = 0;
};

} // namespace automation_test
