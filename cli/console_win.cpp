#include "console.h"

#include "driver/win_text.h"

#include <atomic>
#include <cstdio>
#include <shellapi.h>

namespace cli {
namespace {

std::atomic<bool> stopRequested{false};

BOOL WINAPI requestStop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    stopRequested = true;
    return TRUE;
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
        WriteConsoleW(handleOf(stream), wide.data(), static_cast<DWORD>(wide.size()), &written,
                      nullptr);
        return;
    }
    std::FILE* file = stream == Stream::Out ? stdout : stderr;
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fflush(file);
}

bool isTerminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
}

void catchInterrupts() {
    SetConsoleCtrlHandler(requestStop, TRUE);
}

bool interrupted() {
    return stopRequested;
}

} // namespace cli
