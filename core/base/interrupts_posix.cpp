#include "interrupts.h"

#include <csignal>
#include <poll.h>
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

} // namespace

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
