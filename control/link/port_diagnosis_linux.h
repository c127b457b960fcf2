// The parts of the Linux port diagnosis that only read text, apart from the
// system calls that find the text, so that their rules can be checked on
// any input.
#pragma once

#include <string>
#include <string_view>

namespace palvex {

// How a device's permissions look to this process.
struct SDeviceAccess {
    std::string path;
    std::string owner;          // the user's name, or the number when it has none
    std::string group;          // the group's name, or the number
    unsigned mode = 0;          // the permission bits
    bool memberOfGroup = false; // this process has the device's group already
};

// The detail of a refused open: owner, group and mode, then the fix. When
// the group may read and write the device, joining the group; when no group
// may, the udev rule at `udevRule` and the commands that install it (or,
// when the rule lies where udev reads it, how udev applies it).
std::string PermissionDetail(const SDeviceAccess& access, const std::string& udevRule);

// The process holding a lock (flock, POSIX or open file description lock)
// on the inode `inode` of the file system `devMajor`:`devMinor`, read from
// the text of /proc/locks; 0 when none, or when the lock does not tell
// (a lock of an open file description has no process).
long LockHolderPid(std::string_view procLocks, unsigned devMajor, unsigned devMinor,
                   unsigned long long inode);

// The process a UUCP lock file (LCK..<name>) names: its pid in ASCII ("%10d\n"
// and other spacings) or as a binary int of this machine; 0 when it names
// none.
long UucpLockPid(std::string_view content);

} // namespace palvex
