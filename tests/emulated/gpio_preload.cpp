/* Loaded before umockdev's preload into a program on an emulated GPIO chip:
 * a line request answers with a handle's file, which the kernel makes and
 * umockdev cannot hand over. Here the emulated node (EMULATED_NODE) is opened
 * again for the handle, that connection bound to the handle the emulation
 * answered (kBindHandle), and the program given it; its close is told
 * (kCloseHandle), as the kernel frees a handle's lines when it is closed. */
#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "emulated/gpio_bind.h"

namespace {

using Ioctl = int (*)(int, unsigned long, ...);
Ioctl next;
std::atomic<bool> handles[1024]; // the files that are handles

} // namespace

extern "C" int close(int fd) {
    using Close = int (*)(int);
    static const auto closing = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "close"));
    if (fd >= 0 && fd < 1024 && handles[fd].exchange(false))
        next(fd, emulated::kCloseHandle, nullptr);
    return closing(fd);
}

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (!next)
        next = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    const int result = next(fd, request, argument);
    const char* node = getenv("EMULATED_NODE");
    if (result != 0 || request != GPIO_GET_LINEHANDLE_IOCTL || !node)
        return result;
    auto* asked = static_cast<gpiohandle_request*>(argument);
    const int handle = open(node, O_RDWR | O_CLOEXEC);
    if (handle < 0)
        return -1;
    int number = asked->fd;
    if (next(handle, emulated::kBindHandle, &number) != 0) {
        close(handle);
        return -1;
    }
    asked->fd = handle;
    if (handle < 1024)
        handles[handle] = true;
    return 0;
}
