#include "lock.h"

#include "cli/common/errors.h"

#include <cerrno>
#include <cstdlib>
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

// The user's runtime folder (the user's own), else the temporary folder with
// the user's id in the name.
std::string lockPath(const std::string& card) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat folder {};
    if (runtime && runtime[0] == '/' && stat(runtime, &folder) == 0 && S_ISDIR(folder.st_mode) &&
        folder.st_uid == geteuid())
        return std::string(runtime) + "/" + SelftestLock::key(card) + ".lock";
    return "/tmp/" + SelftestLock::key(card) + "-" + std::to_string(geteuid()) + ".lock";
}

} // namespace

void SelftestLock::Release::operator()(Held* held) const {
    delete held;
}

SelftestLock::Holding SelftestLock::take(const std::string& card, std::string& where) {
    const std::string path = lockPath(card);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat made {};
    if (fd < 0 || fstat(fd, &made) != 0 || made.st_uid != geteuid()) {
        const std::string why = fd < 0 ? std::strerror(errno) : "不是本用户的文件";
        if (fd >= 0)
            close(fd);
        throw UsageError("自检的锁文件“" + path + "”用不了：" + why);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        where = "锁文件“" + path + "”";
        return Holding();
    }
    return Holding(new Held(fd));
}

} // namespace cli
