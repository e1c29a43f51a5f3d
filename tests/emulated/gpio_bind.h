#pragma once
// The requests by which tests/emulated/gpio_preload.cpp tells the emulated
// GPIO chip that a connection is the handle of the number that follows, and
// that the program closes it (umockdev 0.17 says nothing of a close).
#include <sys/ioctl.h>

namespace emulated {
constexpr unsigned long kBindHandle = _IOW('E', 1, int);
constexpr unsigned long kCloseHandle = _IO('E', 2);
} // namespace emulated
