#include "comm/custom_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int set_custom_speed(int fd, int rate)
{
    struct termios2 attributes {};
    if (ioctl(fd, TCGETS2, &attributes) != 0) return errno;
    // Output rate from c_ospeed; a zero input field makes the input rate follow the output rate.
    attributes.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    attributes.c_cflag |= BOTHER;
    attributes.c_ospeed = static_cast<speed_t>(rate);
    attributes.c_ispeed = static_cast<speed_t>(rate);
    if (ioctl(fd, TCSETS2, &attributes) != 0) return errno;
    return 0;
}

long current_speed(int fd)
{
    struct termios2 attributes {};
    if (ioctl(fd, TCGETS2, &attributes) != 0) return -1;
    return static_cast<long>(attributes.c_ospeed);
}
