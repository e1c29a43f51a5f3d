#include "lock.h"

#include "core/base/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

struct SelftestLock::Held {
    explicit Held(int held) : fd(held) {}
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    int fd;
    ~Held() { close(fd); } // the lock goes with it
};

namespace {

// One folder for every program and user of the machine, whatever their
// environment (a desktop session's XDG_RUNTIME_DIR, none under sudo or cron,
// a service's private /tmp): the first of these that every user may write,
// with the sticky bit that keeps each user's files their own.
std::string lockFolder() {
    for (const char* folder : {"/run/lock", "/var/lock", "/tmp"}) {
        struct stat s {};
        if (stat(folder, &s) == 0 && S_ISDIR(s.st_mode) && (s.st_mode & 01777) == 01777)
            return folder;
    }
    return "/tmp";
}

// The lock file, opened for reading only (a lock needs no more, and any
// user's test of the card takes the same file): made where missing, for
// every user to open whatever the umask. Never through a link, nor a FIFO or
// device someone left under its name. -1 and errno where it cannot be had.
int openLockFile(const std::string& path) {
    for (int tries = 0; tries < 10; ++tries) {
        int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            fchmod(fd, 0644);
            return fd;
        }
        if (errno != EEXIST) // else made by another meanwhile: open that
            return -1;
    }
    return -1;
}

// Why the lock file could not be opened.
std::string openProblem(int error) {
    if (error == ELOOP)
        return "是个符号链接";
    if (error == EACCES)
        return std::string(std::strerror(error)) + "（别的用户建的，打不开：请管理员删掉它）";
    return std::strerror(error);
}

} // namespace

void SelftestLock::Release::operator()(Held* held) const {
    delete held;
}

SelftestLock::Holding SelftestLock::take(const std::string& card, std::string& where) {
    const std::string path = lockFolder() + "/" + key(card) + ".lock";
    const int fd = openLockFile(path);
    struct stat made {};
    if (fd < 0)
        throw UsageError("自检的锁文件“" + path + "”用不了：" + openProblem(errno));
    if (fstat(fd, &made) != 0 || !S_ISREG(made.st_mode)) {
        close(fd);
        throw UsageError("自检的锁文件“" + path + "”用不了：不是普通文件");
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        where = "锁文件“" + path + "”";
        return Holding();
    }
    return Holding(new Held(fd));
}

} // namespace cli
