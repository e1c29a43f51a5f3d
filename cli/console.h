#pragma once
// The terminal, the way each system wants it (platform code): UTF-8 text shown
// right in any console (a Windows console of code page 936 included) and
// written as UTF-8 where the output is redirected; Ctrl-C as a request to stop.

#include <chrono>
#include <string>
#include <vector>

namespace cli {

enum class Stream { Out, Err };

// The program's arguments in UTF-8 (Windows passes them in its code page).
std::vector<std::string> arguments(int argc, char** argv);

void write(Stream stream, const std::string& utf8);
bool isTerminal(Stream stream);

// From here on, Ctrl-C (and a request to terminate) only sets a flag that
// long-running commands look at, so that they can end cleanly.
void catchInterrupts();
bool interrupted();
// Sleeps, waking early when interrupted.
void pause(std::chrono::milliseconds duration);

} // namespace cli
