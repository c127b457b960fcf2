#include "sim/modem_port_watch.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace cardsim {

bool CPortCloseWatch::Watch(const std::string& device, std::string& error) {
    CUniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd || ::inotify_add_watch(fd.Get(), device.c_str(),
                                   IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = "inotify on " + device + ": " + std::strerror(errno);
        return false;
    }
    m_fd = std::move(fd);
    m_holders = 0;
    return true;
}

int CPortCloseWatch::TakeLastCloses() {
    int lastCloses = 0;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        const ssize_t got = ::read(m_fd.Get(), buf, sizeof buf);
        if (got <= 0) break; // EAGAIN once drained
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buf + at);
            if (ev->mask & IN_OPEN) ++m_holders;
            if ((ev->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) && m_holders > 0 &&
                --m_holders == 0)
                ++lastCloses;
            if (ev->mask & IN_Q_OVERFLOW) m_holders = 0; // lost count: start again
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    return lastCloses;
}

} // namespace cardsim
