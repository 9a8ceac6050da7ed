#include "SerialSpeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

// <sys/ioctl.h> would drag in glibc's struct termios next to the kernel's.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace SerialSpeed {

bool SetCustom(int fd, quint32 baud)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    int rc;
    do
        rc = ioctl(fd, TCSETS2, &t);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

std::optional<quint32> Current(int fd)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return std::nullopt;
    return t.c_ospeed;
}

} // namespace SerialSpeed
