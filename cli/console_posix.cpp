#include "console.h"

#include "cli/errors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>

namespace cli {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int signal) {
    if (stopRequested == 0)
        stopRequested = signal;
}

// The signals whose default is to end the process, but for those that say the
// program itself went wrong (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS,
// SIGTRAP): carrying on after those is not safe. The real-time signals end it
// too and are added where they are caught.
struct Named {
    int signal;
    const char* name;
};
constexpr Named kEnding[] = {
    {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},   {SIGQUIT, "SIGQUIT"}, {SIGTERM, "SIGTERM"},
    {SIGUSR1, "SIGUSR1"},     {SIGUSR2, "SIGUSR2"}, {SIGALRM, "SIGALRM"}, {SIGPIPE, "SIGPIPE"},
    {SIGXCPU, "SIGXCPU"},     {SIGXFSZ, "SIGXFSZ"}, {SIGPROF, "SIGPROF"}, {SIGVTALRM, "SIGVTALRM"},
#if defined(SIGPOLL)
    {SIGPOLL, "SIGPOLL"},
#endif
#if defined(SIGPWR)
    {SIGPWR, "SIGPWR"},
#endif
#if defined(SIGSTKFLT)
    {SIGSTKFLT, "SIGSTKFLT"},
#endif
};

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

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    // A signal ignored when the program started stays ignored: nohup's
    // SIGHUP, a shell's SIGINT for a job in the background.
    auto catchUnlessIgnored = [&](int signal) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    };
    for (const Named& ending : kEnding)
        catchUnlessIgnored(ending.signal);
#if defined(SIGRTMIN)
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        catchUnlessIgnored(signal);
#endif
}

int stopSignal() {
    return stopRequested;
}

bool outputGone() {
    pollfd out{STDOUT_FILENO, POLLOUT, 0};
    // A pipe whose reader has closed polls as an error; a file or terminal never does.
    if (poll(&out, 1, 0) == 1 && (out.revents & (POLLERR | POLLHUP)) != 0) {
        requestStop(SIGPIPE);
        return true;
    }
    return false;
}

std::string hostName() {
    char name[256] = "";
    return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

std::string userName() {
    const passwd* user = getpwuid(geteuid());
    return user && user->pw_name ? user->pw_name : "";
}

std::string signalName(int signal) {
    for (const Named& ending : kEnding)
        if (ending.signal == signal)
            return ending.name;
#if defined(SIGRTMIN)
    if (signal >= SIGRTMIN && signal <= SIGRTMAX)
        return "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
#endif
    return "信号 " + std::to_string(signal);
}

} // namespace cli
