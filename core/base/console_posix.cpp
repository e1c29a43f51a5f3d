#include "console.h"

#include "core/base/errors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace cli {
namespace {

std::FILE* fileOf(Stream stream) {
    return stream == Stream::Out ? stdout : stderr;
}

} // namespace

std::vector<std::string> arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

void write(Stream stream, const std::string& utf8) {
    std::FILE* file = fileOf(stream);
    errno = 0;
    if (std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size() && std::fflush(file) == 0)
        return;
    const int error = errno;
    std::clearerr(file);
    throw OutputFailed(std::string(stream == Stream::Out ? "标准输出" : "标准错误") + "写不进去：" +
                       (error ? std::strerror(error) : "写入不完整"));
}

std::size_t writeWithoutWaiting(Stream stream, const std::string& utf8) {
    std::FILE* file = fileOf(stream);
    std::fflush(file);
    const int fd = fileno(file);
    std::size_t done = 0;
    // Small writes, each only once the descriptor says it has room: a pipe
    // or a terminal with room for one takes 256 bytes without waiting.
    while (done < utf8.size()) {
        pollfd out{fd, POLLOUT, 0};
        if (poll(&out, 1, 0) != 1 || (out.revents & POLLOUT) == 0)
            break;
        const ssize_t now =
            ::write(fd, utf8.data() + done, std::min<std::size_t>(256, utf8.size() - done));
        if (now < 0 && errno != EAGAIN && errno != EINTR)
            throw OutputFailed(std::string(stream == Stream::Out ? "标准输出" : "标准错误") +
                               "写不进去：" + std::strerror(errno));
        done += now > 0 ? static_cast<std::size_t>(now) : 0;
    }
    return done;
}

bool writtenWithin(Stream, std::chrono::milliseconds) {
    return true; // what was taken was written
}

bool isTerminal(Stream stream) {
    return isatty(stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO) != 0;
}

} // namespace cli
