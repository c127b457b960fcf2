#include "tests/automation/cardsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <vector>

extern char** environ;

namespace automation_test {

namespace {

// Everything the program printed until `pattern` matched a line, or the
// wait ran out.
bool ReadUntil(int fd, const std::regex& pattern, std::smatch& match, std::string& text) {
    for (int waited = 0; waited < 100; ++waited) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) < 0) return false;
        if (p.revents == 0) continue;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return false;
        text.append(buf, static_cast<std::size_t>(n));
        if (std::regex_search(text, match, pattern)) return true;
    }
    return false;
}

} // namespace

CardsimProcess::CardsimProcess(const std::string& program) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> words = {program, "--tcp", "0"};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::smatch match;
    std::string text;
    if (m_pid > 0 && ReadUntil(fds[0], std::regex("on tcp 127\\.0\\.0\\.1:([0-9]+)"), match, text))
        m_port = static_cast<unsigned>(std::stoul(match[1].str()));
    // Kept open: a program writing into a closed pipe would be stopped.
    m_out = fds[0];
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
