// The details of a refused serial port on Linux: stat for the device's owner,
// group and mode, the password and group databases for their names,
// /proc/locks and the UUCP lock files for the program that holds the port,
// /proc/<pid>/comm for that program's name.
#include "control/link/port_diagnosis_linux.h"
#include "control/link/port_diagnosis.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

#ifndef PALVEX_UDEV_RULE
#define PALVEX_UDEV_RULE "/usr/local/lib/udev/rules.d/60-palvex-serial.rules"
#endif

namespace palvex {

namespace {

constexpr std::size_t kMaxProcLocks = 1 << 20;

// At most `limit` bytes of a file; "" when it cannot be read.
std::string ReadSmallFile(const std::string& path, std::size_t limit) {
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return {};
    std::string text;
    char buf[4096];
    while (text.size() < limit) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    if (text.size() > limit) text.resize(limit);
    return text;
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777u);
    return text;
}

// The name of a user or a group, through the reentrant look-ups; the number
// when the database has no name for it.
template <class Entry, class Id, class Lookup>
std::string NameOf(Id id, Lookup lookup, char* Entry::*name) {
    std::vector<char> buf(1024);
    for (int tries = 0; tries < 8; ++tries) {
        Entry entry{};
        Entry* found = nullptr;
        const int rc = lookup(id, &entry, buf.data(), buf.size(), &found);
        if (rc == ERANGE) {
            buf.resize(buf.size() * 2);
            continue;
        }
        if (rc == 0 && found != nullptr) return found->*name;
        break;
    }
    return std::to_string(id);
}

bool ProcessHasGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int n = ::getgroups(0, nullptr);
    if (n <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(n));
    const int got = ::getgroups(n, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == gid) return true;
    return false;
}

bool ProcessAlive(long pid) {
    if (pid <= 0 || pid > INT_MAX) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// "cardsim (pid 1234)", or "pid 1234" when the process has no readable name.
std::string ProcessText(long pid) {
    std::string comm = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm", 64);
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0'))
        comm.pop_back();
    const std::string number = "pid " + std::to_string(pid);
    return comm.empty() ? number : comm + " (" + number + ")";
}

// The names a UUCP lock file may carry for the device: the device's own
// name (the last part of its real path) and, for devices in a folder of
// /dev, the path below /dev with '/' written as '_'.
std::vector<std::string> UucpNames(const std::string& path) {
    std::vector<std::string> names;
    char real[PATH_MAX];
    const std::string device = ::realpath(path.c_str(), real) != nullptr ? real : path;
    const std::size_t slash = device.rfind('/');
    names.push_back(slash == std::string::npos ? device : device.substr(slash + 1));
    if (device.rfind("/dev/", 0) == 0) {
        std::string below = device.substr(5);
        for (char& c : below)
            if (c == '/') c = '_';
        if (below != names.front()) names.push_back(below);
    }
    return names;
}

// The living process that holds the port by a lock: first a kernel lock on
// the device's inode, then a UUCP lock file. 0 when no lock tells.
long PortHolder(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        const long pid = LockHolderPid(ReadSmallFile("/proc/locks", kMaxProcLocks),
                                       major(st.st_dev), minor(st.st_dev), st.st_ino);
        if (ProcessAlive(pid)) return pid;
    }
    for (const char* dir : {"/var/lock", "/run/lock"})
        for (const std::string& name : UucpNames(path)) {
            const long pid = UucpLockPid(ReadSmallFile(std::string(dir) + "/LCK.." + name, 64));
            if (ProcessAlive(pid)) return pid;
        }
    return 0;
}

std::string BusyDetail(const std::string& path) {
    const long pid = PortHolder(path);
    if (pid > 0) return path + " is held by " + ProcessText(pid);
    return path + " is in exclusive use, and no lock tells which program holds it";
}

std::string MissingDetail(const std::string& path, int err) {
    if (err == ENODEV || err == ENXIO)
        return path + " exists, but no device answers behind it (unplugged, or its driver is "
                      "not loaded)";
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = '\0';
            return path + " is a link to " + target + ", which does not exist";
        }
    }
    return path + " does not exist";
}

std::string DeniedDetail(const std::string& path, int err) {
    if (err == EROFS) return path + " lies on a read-only file system";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return path + " cannot be reached: a folder on its way refuses this user";
    SDeviceAccess access;
    access.path = path;
    access.owner = NameOf<passwd>(st.st_uid, ::getpwuid_r, &passwd::pw_name);
    access.group = NameOf<group>(st.st_gid, ::getgrgid_r, &group::gr_name);
    access.mode = st.st_mode & 07777u;
    access.memberOfGroup = ProcessHasGroup(st.st_gid);
    return PermissionDetail(access, PALVEX_UDEV_RULE);
}

} // namespace

std::string PermissionDetail(const SDeviceAccess& a, const std::string& udevRule) {
    std::string text =
        a.path + " is owned by " + a.owner + ':' + a.group + " mode " + Octal(a.mode);
    const bool groupReadWrite = (a.mode & 060u) == 060u;
    // Joining the group root to reach one device would hand out far more.
    const bool groupIsRoot = a.group == "root";
    if (groupReadWrite && !groupIsRoot && !a.memberOfGroup)
        return text + "; add your user to the group '" + a.group + "': sudo usermod -aG " +
               a.group + " $USER, then log out and in";
    if (groupReadWrite && !groupIsRoot)
        return text + ", and this program is in the group '" + a.group +
               "' already: something beyond the mode refuses it (a security module, a "
               "container's device rules)";
    text += groupReadWrite ? ", a group no user should join for one device"
                           : ", which lets no group open it";
    // A package puts the rule where udev reads it already: it holds for
    // ports that came after it, and for the others once udev applies it.
    const std::string_view folder = std::string_view(udevRule).substr(0, udevRule.rfind('/') + 1);
    if (folder == "/usr/lib/udev/rules.d/" || folder == "/lib/udev/rules.d/" ||
        folder == "/etc/udev/rules.d/")
        return text + "; the udev rule " + udevRule +
               " that comes with palvex gives USB serial ports to the group 'dialout' and to "
               "the user at the seat: for such a port, plug it in again or run sudo udevadm "
               "trigger";
    return text +
           "; install the udev rule that comes with "
           "palvex (USB serial ports to the group 'dialout' and to the user at the "
           "seat): sudo cp " +
           udevRule +
           " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger";
}

long LockHolderPid(std::string_view procLocks, unsigned devMajor, unsigned devMinor,
                   unsigned long long inode) {
    std::istringstream lines{std::string(procLocks)};
    std::string line;
    while (std::getline(lines, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 00:1a:5 0 EOF"; a waiter's line has
        // "->" after the number and holds nothing.
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        if (!(fields >> number >> kind)) continue;
        if (kind == "->") continue;
        if (kind != "FLOCK" && kind != "POSIX" && kind != "OFDLCK") continue;
        if (!(fields >> mode >> access >> pid >> where)) continue;
        unsigned long maj = 0, min = 0;
        unsigned long long ino = 0;
        if (std::sscanf(where.c_str(), "%lx:%lx:%llu", &maj, &min, &ino) != 3) continue;
        if (maj != devMajor || min != devMinor || ino != inode) continue;
        char* end = nullptr;
        const long holder = std::strtol(pid.c_str(), &end, 10);
        if (end != pid.c_str() && *end == '\0' && holder > 0) return holder;
    }
    return 0;
}

long UucpLockPid(std::string_view content) {
    // Text holds digits and spaces only; a binary int of 4 bytes has at least
    // one zero byte for any pid up to 2^24, so the two do not mix up.
    bool ascii = !content.empty();
    for (char c : content)
        if (!(c >= '0' && c <= '9') && c != ' ' && c != '\n' && c != '\t') ascii = false;
    if (ascii) {
        const long pid = std::strtol(std::string(content).c_str(), nullptr, 10);
        return pid > 0 ? pid : 0;
    }
    if (content.size() == sizeof(int)) {
        int pid = 0;
        std::memcpy(&pid, content.data(), sizeof pid);
        return pid > 0 ? pid : 0;
    }
    return 0;
}

std::string OpenFailureDetail(const std::string& path, const LinkError& error, unsigned baud) {
    switch (error.kind) {
    case LinkErrorKind::NoSuchDevice:
        return MissingDetail(path, error.sysErrno);
    case LinkErrorKind::Busy:
        return BusyDetail(path);
    case LinkErrorKind::PermissionDenied:
        return DeniedDetail(path, error.sysErrno);
    case LinkErrorKind::NotASerialDevice:
        if (error.sysErrno == EISDIR) return path + " is a folder, not a terminal";
        return path + " is not a terminal";
    case LinkErrorKind::SpeedRefused:
        return path + " does not run at " + std::to_string(baud) + " bit/s";
    default:
        return path;
    }
}

} // namespace palvex
