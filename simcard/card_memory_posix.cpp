#include "card_memory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace simcard {
CardMemory* openSharedMemory(std::string& why) {
    const std::string name = sharedMemoryName(environmentValue("ADCARD_SIM_NAME"));
    const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0) {
        why = name + ": " + std::strerror(errno);
        return nullptr;
    }
    void* memory = MAP_FAILED;
    if (ftruncate(fd, sizeof(CardMemory)) == 0) // new memory reads zero: all lines at 0
        memory = mmap(nullptr, sizeof(CardMemory), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED)
        why = name + ": " + std::strerror(errno);
    close(fd);
    return memory == MAP_FAILED ? nullptr : static_cast<CardMemory*>(memory);
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace simcard
