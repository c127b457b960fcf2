#include "sim/line_termios.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

// <sys/ioctl.h> would bring the C library's termios definitions, which clash
// with the kernel's; the prototype is all that is needed.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace cardsim {

bool MakeLineRaw(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    // Frames and CRCs are binary: XON, XOFF, CR and the signal characters
    // are data like any other byte.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE | ECHOK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool ReadLineSpeed(int fd, unsigned* baud) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    *baud = t.c_ospeed;
    return true;
}

} // namespace cardsim
