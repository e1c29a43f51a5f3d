#pragma once
// A signal to end the process as a request to stop (platform code), so that
// long-running commands can put the card back first.

#include <atomic>
#include <chrono>
#include <string>

namespace cli {

// From here on, every signal that would end the process (Ctrl-C, a hang-up,
// a termination request, a reader of the output that has gone, ...) only
// records itself, so that long-running commands can put the card back first.
// Faults of the program itself (a bad address, an abort) are left as they are.
void catchInterrupts();
// The signal that asked to stop (the first one), or 0.
int stopSignal();
inline bool interrupted() {
    return stopSignal() != 0;
}
// Whether the standard output leads to a reader that has gone (a closed pipe);
// then stopSignal() says SIGPIPE, as a write would have.
bool outputGone();
// Sleeps, waking early when interrupted or when `cancel` (where given) is set.
void pause(std::chrono::milliseconds duration, const std::atomic<bool>* cancel = nullptr);

// "SIGHUP" for 1, and so on; the number where it has no name here.
std::string signalName(int signal);

} // namespace cli
