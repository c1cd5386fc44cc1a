// Baud rates without a termios constant (14400), set through the kernel's termios2 interface.
// Kept apart because <asm/termbits.h> cannot be included together with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace odomei {

bool SetCustomBaudRate(int fd, std::uint32_t baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &t) == 0;
}

// The rate set through termios2, or 0 when a standard rate is in use.
std::uint32_t GetCustomBaudRate(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0 || (t.c_cflag & CBAUD) != BOTHER) return 0;
    return t.c_ospeed;
}

}  // namespace odomei
