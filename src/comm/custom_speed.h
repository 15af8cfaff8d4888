#pragma once
// Line rates that have no Bxxx constant. Kept apart from <termios.h> users: the kernel's
// <asm/termbits.h> that this needs redefines the same names.

// Sets input and output rate of the open terminal `fd` to `rate` bits per second through
// termios2/BOTHER. Returns 0, or the errno value of the failure.
int set_custom_speed(int fd, int rate);

// The output rate of the terminal `fd`, in bits per second, or -1 when it cannot be read.
long current_speed(int fd);
