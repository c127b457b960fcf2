#include "sim/endpoints.h"

#include "sim/line_termios.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cardsim {

namespace {

std::string Failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

} // namespace

bool OpenPtyPair(PtyPair& pty, std::string& error) {
    CUniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master) {
        error = Failed("posix_openpt");
        return false;
    }
    if (::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0) {
        error = Failed("grantpt/unlockpt");
        return false;
    }
    char name[128];
    if (::ptsname_r(master.Get(), name, sizeof name) != 0) {
        error = Failed("ptsname");
        return false;
    }
    CUniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!slave) {
        error = Failed("open pty slave");
        return false;
    }
    // Raw on the slave: without it the line discipline would echo the frames
    // back or translate bytes before the control configures the port.
    if (!MakeLineRaw(slave.Get())) {
        error = Failed("raw mode on pty slave");
        return false;
    }
    const int flags = ::fcntl(master.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Failed("non-blocking pty master");
        return false;
    }
    pty.master = std::move(master);
    pty.slave = std::move(slave);
    pty.slaveName = name;
    return true;
}

bool PointSymlink(const std::string& linkPath, const std::string& target, std::string& error) {
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symbolic link; not replacing it";
            return false;
        }
    } else if (errno != ENOENT) {
        error = Failed(("lstat " + linkPath).c_str());
        return false;
    }
    // Build the new link beside the old one and rename it over, so the path
    // never points nowhere while a control looks it up.
    const std::string tmp = linkPath + ".cardsim-" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    if (::symlink(target.c_str(), tmp.c_str()) != 0) {
        error = Failed(("symlink " + tmp).c_str());
        return false;
    }
    if (::rename(tmp.c_str(), linkPath.c_str()) != 0) {
        error = Failed(("rename onto " + linkPath).c_str());
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

void RemoveSymlinkTo(const std::string& linkPath, const std::string& target) {
    char buf[4096];
    const ssize_t n = ::readlink(linkPath.c_str(), buf, sizeof buf - 1);
    if (n < 0) return;
    buf[n] = 0;
    // Another simulator may have taken the path over since; leave its link.
    if (target == buf) ::unlink(linkPath.c_str());
}

CUniqueFd ListenLoopback(unsigned port, unsigned& boundPort, std::string& error) {
    if (port > 65535) {
        error = "port " + std::to_string(port) + " out of range";
        return CUniqueFd();
    }
    CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        error = Failed("socket");
        return fd;
    }
    const int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        error = Failed(("bind 127.0.0.1:" + std::to_string(port)).c_str());
        return CUniqueFd();
    }
    if (::listen(fd.Get(), 4) != 0) {
        error = Failed("listen");
        return CUniqueFd();
    }
    socklen_t len = sizeof addr;
    if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        error = Failed("getsockname");
        return CUniqueFd();
    }
    boundPort = ntohs(addr.sin_port);
    return fd;
}

} // namespace cardsim
