#include "control/link/linux_termios2.h"

#include <cerrno>
#include <cstring>

#include <asm/ioctls.h>
#include <asm/termbits.h>

// <sys/ioctl.h> would pull in the glibc termios definitions that clash with
// the kernel's; the prototype is all that is needed here.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace palvex {

static_assert(sizeof(termios2) <= SSavedLineSettings::kCapacity,
              "the saved line settings must hold a termios2");
static_assert(alignof(termios2) <= alignof(SSavedLineSettings),
              "the saved line settings must be aligned for a termios2");

namespace {

void ClearLineDiscipline(termios2& t) {
    // No character is special on a binary link: no echo, no line editing,
    // no signals, no CR/LF translation, no parity marking, no output
    // processing. Software flow control is cleared as well: XON and XOFF are
    // ordinary data bytes in frames and CRCs and must not be swallowed.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE | ECHOK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    // VMIN 1 with a non-blocking descriptor: a read returns what is there or
    // EAGAIN, so 0 bytes means end of file (the device went away), never
    // merely "nothing yet" as it would with VMIN 0.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

// Records the reason when the caller asked for it; always false.
bool Refused(LinkError* why, LinkError reason) {
    if (why != nullptr) *why = reason;
    return false;
}

} // namespace

bool SetRaw8N1(int fd, unsigned baud, LinkError* why) {
    termios2 t{};
    // A descriptor that cannot report line settings is no terminal at all.
    if (ioctl(fd, TCGETS2, &t) != 0)
        return Refused(why, LinkErrorFromErrno(LinkOperation::Open, errno));
    ClearLineDiscipline(t);
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    // Only the speed can be out of reach here: the other settings are ones
    // every terminal takes, so EINVAL means the divisor.
    if (ioctl(fd, TCSETS2, &t) != 0) {
        const int err = errno;
        return Refused(why, err == EINVAL ? LinkError{LinkErrorKind::SpeedRefused, err}
                                          : LinkErrorFromErrno(LinkOperation::Open, err));
    }
    termios2 check{};
    if (ioctl(fd, TCGETS2, &check) != 0)
        return Refused(why, LinkErrorFromErrno(LinkOperation::Open, errno));
    // A UART driver may settle on the nearest divisor it can make; within 2 %
    // a card still reads every byte, beyond that the speed is not supported.
    const unsigned got = check.c_ospeed;
    const unsigned diff = got > baud ? got - baud : baud - got;
    if (diff * 50 > baud) return Refused(why, LinkError{LinkErrorKind::SpeedRefused, 0});
    return true;
}

bool GetLineSpeed(int fd, unsigned* baud) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    *baud = t.c_ospeed;
    return true;
}

bool MakeRawNoSpeedChange(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    ClearLineDiscipline(t);
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool SaveLineSettings(int fd, SSavedLineSettings& saved) {
    termios2 t{};
    saved.saved = ioctl(fd, TCGETS2, &t) == 0;
    if (saved.saved) std::memcpy(saved.bytes, &t, sizeof t);
    return saved.saved;
}

bool RestoreLineSettings(int fd, const SSavedLineSettings& saved) {
    if (!saved.saved) return false;
    termios2 t{};
    std::memcpy(&t, saved.bytes, sizeof t);
    return ioctl(fd, TCSETS2, &t) == 0;
}

} // namespace palvex
