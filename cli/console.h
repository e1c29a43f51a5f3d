#pragma once
// The terminal, the way each system wants it (platform code): UTF-8 text shown
// right in any console (a Windows console of code page 936 included) and
// written as UTF-8 where the output is redirected; a signal to end the
// process as a request to stop.

#include <chrono>
#include <string>
#include <vector>

namespace cli {

enum class Stream { Out, Err };

// The program's arguments in UTF-8 (Windows passes them in its code page).
std::vector<std::string> arguments(int argc, char** argv);

// Writes all of it, or throws OutputFailed naming the stream and the reason.
void write(Stream stream, const std::string& utf8);
// Writes what the stream takes now, without waiting for a reader that stalls
// (a paused terminal, a pipe nobody reads): how many bytes, maybe none.
// Throws OutputFailed where writing fails. Where the system cannot tell
// whether a write would wait (Windows), a thread of its own writes what it takes.
std::size_t writeWithoutWaiting(Stream stream, const std::string& utf8);
// Whether what writeWithoutWaiting took has been written, waiting up to
// `patience` (on Windows a thread writes it; elsewhere it has been).
bool writtenWithin(Stream stream, std::chrono::milliseconds patience);
// Writes as much as the stream takes within `patience`; whether all of it went.
bool writeWithin(Stream stream, const std::string& utf8, std::chrono::milliseconds patience);
bool isTerminal(Stream stream);

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
// Sleeps, waking early when interrupted.
void pause(std::chrono::milliseconds duration);

// "SIGHUP" for 1, and so on; the number where it has no name here.
std::string signalName(int signal);

// This machine's name and the user's, for what a test station records ("" where
// unknown).
std::string hostName();
std::string userName();

} // namespace cli
