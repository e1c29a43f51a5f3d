#include "interrupts.h"

#include <atomic>
#include <csignal>
#include <windows.h>

namespace cli {
namespace {

constexpr int kHangUp = 1; // as POSIX numbers it: the console was closed

std::atomic<int> stopRequested{0};

// Ctrl-C and Ctrl-Break as an interrupt, the console closed as a hang-up.
BOOL WINAPI requestStop(DWORD event) {
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT
                       : event == CTRL_CLOSE_EVENT                        ? kHangUp
                                                                          : 0;
    if (signal == 0)
        return FALSE;
    int none = 0;
    stopRequested.compare_exchange_strong(none, signal);
    return TRUE;
}

} // namespace

void catchInterrupts() {
    SetConsoleCtrlHandler(requestStop, TRUE);
}

int stopSignal() {
    return stopRequested;
}

// A pipe's reader going away shows at the next write.
bool outputGone() {
    return false;
}

std::string signalName(int signal) {
    return signal == SIGINT    ? "Ctrl-C"
           : signal == kHangUp ? "控制台已关闭"
                               : "信号 " + std::to_string(signal);
}

} // namespace cli
