#include "console.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace cli {
namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

std::FILE* fileOf(Stream stream) {
    return stream == Stream::Out ? stdout : stderr;
}

} // namespace

std::vector<std::string> arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

void write(Stream stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), fileOf(stream));
    std::fflush(fileOf(stream));
}

bool isTerminal(Stream stream) {
    return isatty(stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO) != 0;
}

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return stopRequested != 0;
}

} // namespace cli
