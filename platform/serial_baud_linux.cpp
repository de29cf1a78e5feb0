// Kept apart: the kernel's termbits header clashes with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace vemla {

int SetArbitraryBaudRate(int fd, int baudRate) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
    settings.c_cflag &= ~CBAUD;
    settings.c_cflag |= BOTHER;
    settings.c_cflag &= ~(CBAUD << IBSHIFT);
    settings.c_cflag |= BOTHER << IBSHIFT;
    settings.c_ispeed = static_cast<speed_t>(baudRate);
    settings.c_ospeed = static_cast<speed_t>(baudRate);
    if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
    return 0;
}

} // namespace vemla
