#pragma once
// The terminal, the way each system wants it (platform code): UTF-8 text shown
// right in any console (a Windows console of code page 936 included) and
// written as UTF-8 where the output is redirected.

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
// A line of the result on the standard output.
inline void say(const std::string& text) {
    write(Stream::Out, text + "\n");
}

} // namespace cli
