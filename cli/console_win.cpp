#include "console.h"

#include "cli/errors.h"
#include "driver/win_text.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <shellapi.h>

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

[[noreturn]] void failed(Stream stream, const std::string& why) {
    throw OutputFailed(std::string(stream == Stream::Out ? "标准输出" : "标准错误") + "写不进去：" +
                       why);
}

HANDLE handleOf(Stream stream) {
    return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

} // namespace

std::vector<std::string> arguments(int /*argc*/, char** /*argv*/) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> utf8;
    for (int i = 0; wide && i < count; ++i)
        utf8.push_back(driver::toUtf8(wide[i]));
    LocalFree(wide);
    return utf8;
}

void write(Stream stream, const std::string& utf8) {
    // A console takes the text as characters, whatever its code page; a file
    // or a pipe gets UTF-8.
    if (isTerminal(stream)) {
        const std::wstring wide = driver::widen(utf8);
        DWORD written = 0;
        if (!WriteConsoleW(handleOf(stream), wide.data(), static_cast<DWORD>(wide.size()), &written,
                           nullptr) ||
            written != wide.size())
            failed(stream, "控制台错误 " + std::to_string(GetLastError()));
        return;
    }
    std::FILE* file = stream == Stream::Out ? stdout : stderr;
    if (std::fwrite(utf8.data(), 1, utf8.size(), file) != utf8.size() || std::fflush(file) != 0) {
        std::clearerr(file);
        failed(stream, "错误 " + std::to_string(GetLastError()));
    }
}

std::size_t writeWithoutWaiting(Stream stream, const std::string& utf8) {
    write(stream, utf8);
    return utf8.size();
}

bool isTerminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
}

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

std::string hostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? driver::toUtf8(std::wstring(name, size)) : "";
}

std::string userName() {
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) && size > 0 ? driver::toUtf8(std::wstring(name, size - 1))
                                                 : "";
}

std::string signalName(int signal) {
    return signal == SIGINT    ? "Ctrl-C"
           : signal == kHangUp ? "控制台已关闭"
                               : "信号 " + std::to_string(signal);
}

} // namespace cli
