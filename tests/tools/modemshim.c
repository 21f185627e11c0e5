/* Preloaded into Wine for the end-to-end tests. A pseudo-terminal has no modem lines, so the
 * modem-status ioctls fail on it, and Wine's WaitCommEvent then returns at once instead of
 * blocking: a serial reader would spin. This makes those ioctls succeed on a terminal, as on a
 * real UART with nothing wired to the modem lines (CTS and DSR reported on). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

int ioctl(int fd, unsigned long request, ...) {
    static int (*real_ioctl)(int, unsigned long, ...);
    va_list args;
    void* argument;
    va_start(args, request);
    argument = va_arg(args, void*);
    va_end(args);
    if (!real_ioctl) {
        real_ioctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    }
    int result = real_ioctl(fd, request, argument);
    if (result == -1 && isatty(fd) &&
        (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC)) {
        if (request == TIOCMGET && argument) {
            *(int*)argument = TIOCM_CTS | TIOCM_DSR;
        }
        return 0;
    }
    return result;
}
