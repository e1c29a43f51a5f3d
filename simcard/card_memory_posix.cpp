#include "card_memory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace simcard {
namespace {

// Why memory someone made under the card's name is not this user's card, or "".
std::string notOurs(const struct stat& made) {
    if (made.st_uid != geteuid())
        return "属于另一个用户（uid " + std::to_string(made.st_uid) + "）";
    if ((made.st_mode & 07777) != 0600) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(made.st_mode & 07777));
        return std::string("权限是 ") + mode + "，应为 0600";
    }
    if (made.st_size != 0 && made.st_size != static_cast<off_t>(sizeof(CardMemory)))
        return "大小是 " + std::to_string(made.st_size) + " 字节，应为 " +
               std::to_string(sizeof(CardMemory));
    return {};
}

} // namespace

// Created only by this process, or opened only where this user made it, for
// this user alone and of the card's size: another user who made the name
// first could otherwise read and drive the card, or shrink it under us.
CardMemory* openSharedMemory(std::string& why) {
    const std::string card = environmentValue("ADCARD_SIM_NAME");
    const std::string name = sharedMemoryName(card);
    if (name.empty()) {
        why = "板卡名“" + card + "”太长";
        return nullptr;
    }
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd >= 0)
        fchmod(fd, 0600); // whatever the umask took away
    else if (errno == EEXIST)
        fd = shm_open(name.c_str(), O_RDWR, 0);
    if (fd < 0) {
        why = name + "：" + std::strerror(errno);
        return nullptr;
    }
    struct stat made {};
    const bool known = fstat(fd, &made) == 0;
    const std::string wrong = known ? notOurs(made) : "";
    if (!wrong.empty())
        why = name + " " + wrong + "，不用它";
    // New memory reads zero: all lines at 0. (Ours, made a moment ago.)
    else if (!known || (made.st_size == 0 && ftruncate(fd, sizeof(CardMemory)) != 0))
        why = name + "：" + std::strerror(errno);
    void* memory = MAP_FAILED;
    if (why.empty()) {
        memory = mmap(nullptr, sizeof(CardMemory), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (memory == MAP_FAILED)
            why = name + "：" + std::strerror(errno);
    }
    close(fd);
    return memory == MAP_FAILED ? nullptr : static_cast<CardMemory*>(memory);
}

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace simcard
