// The cardsim program started for one test: a simulated card on a TCP port
// of the loopback interface (or as the options say), stopped when the
// object goes.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace automation_test {

class CardsimProcess {
  public:
    // Starts `program --tcp 0` and reads the port it reports.
    explicit CardsimProcess(const std::string& program);
    // Starts `program` with `options` and waits until it says it serves:
    // on tcp when the options name --tcp, otherwise on its pty.
    CardsimProcess(const std::string& program, const std::vector<std::string>& options);
    ~CardsimProcess();
    CardsimProcess(const CardsimProcess&) = delete;
    CardsimProcess& operator=(const CardsimProcess&) = delete;

    // 0 when the card did not start (or serves no tcp port).
    unsigned Port() const { return m_port; }
    bool Started() const { return m_started; }

    // Reads the program's output (--verbose: a line per frame) until
    // `count` matches of the regular expression `pattern` are in it, for at
    // most 10 s. (The pattern as text keeps <regex>, slow to compile, out of
    // the files that only start a card.)
    bool WaitFor(const std::string& pattern, int count = 1);
    // Everything the program printed so far.
    const std::string& Output() const { return m_text; }

  private:
    pid_t m_pid = -1;
    int m_out = -1; // the program's output, open while it runs
    unsigned m_port = 0;
    bool m_started = false;
    std::string m_text;
};

} // namespace automation_test
