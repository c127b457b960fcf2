#include "tests/automation/cardsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <regex>
#include <vector>

extern char** environ;

namespace automation_test {

namespace {

std::ptrdiff_t Count(const std::string& text, const std::regex& pattern) {
    return std::distance(std::sregex_iterator(text.begin(), text.end(), pattern),
                         std::sregex_iterator());
}

// Adds what the program prints to `text` until `pattern` matches `count`
// times, or the wait runs out.
bool ReadUntil(int fd, const std::regex& pattern, int count, std::string& text) {
    for (int waited = 0; waited < 100; ++waited) {
        if (Count(text, pattern) >= count) return true;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) < 0) return false;
        if (p.revents == 0) continue;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return Count(text, pattern) >= count;
}

} // namespace

CardsimProcess::CardsimProcess(const std::string& program)
    : CardsimProcess(program, {"--tcp", "0"}) {}

CardsimProcess::CardsimProcess(const std::string& program,
                               const std::vector<std::string>& options) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> words = {program};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // Kept open: a program writing into a closed pipe would be stopped.
    m_out = fds[0];
    const bool tcp = std::find(options.begin(), options.end(), "--tcp") != options.end();
    const std::regex serving(tcp ? "on tcp 127\\.0\\.0\\.1:([0-9]+)" : "on pty ");
    m_started = m_pid > 0 && ReadUntil(m_out, serving, 1, m_text);
    std::smatch match;
    if (m_started && tcp && std::regex_search(m_text, match, serving))
        m_port = static_cast<unsigned>(std::stoul(match[1].str()));
}

bool CardsimProcess::WaitFor(const std::string& pattern, int count) {
    return m_out >= 0 && ReadUntil(m_out, std::regex(pattern), count, m_text);
}

CardsimProcess::~CardsimProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    if (m_out >= 0) close(m_out);
}

} // namespace automation_test
