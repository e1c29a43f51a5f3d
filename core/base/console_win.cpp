#include "console.h"

#include "core/base/errors.h"
#include "driver/win_text.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <shellapi.h>
#include <thread>

namespace cli {
namespace {

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

namespace {

// Windows cannot say whether a write would wait (a console whose window has a
// selection in it holds every write): what must not wait goes to a thread of
// its own, which writes it; a call takes what fits in its 64 KiB while that
// thread is held up. It lives until the process ends, and is never destroyed:
// the process may end while it waits in a write.
class BackgroundWriter {
public:
    explicit BackgroundWriter(Stream stream) : stream_(stream) {
        std::thread([this] { run(); }).detach();
    }
    std::size_t take(const std::string& utf8) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_.empty())
            failed(stream_, failure_);
        std::size_t size = std::min(utf8.size(), kRoom - std::min(kRoom, queued_.size()));
        // Whole characters only: a console is written characters, not bytes.
        while (size > 0 && size < utf8.size() &&
               (static_cast<unsigned char>(utf8[size]) & 0xC0) == 0x80)
            --size;
        queued_.append(utf8, 0, size);
        changed_.notify_all();
        return size;
    }
    // Whether all that was taken is written within `patience`.
    bool drained(std::chrono::milliseconds patience) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, patience, [&] { return queued_.empty() && !writing_; });
    }

private:
    static constexpr std::size_t kRoom = 64 * 1024;
    void run() {
        for (;;) {
            std::string text;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] { return !queued_.empty(); });
                text.swap(queued_);
                writing_ = true;
            }
            std::string why;
            try {
                write(stream_, text);
            } catch (const OutputFailed& e) {
                why = e.what();
            }
            std::lock_guard<std::mutex> lock(mutex_);
            writing_ = false;
            failure_ = why.empty() ? failure_ : why;
            changed_.notify_all();
        }
    }
    Stream stream_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string queued_, failure_;
    bool writing_ = false;
};

BackgroundWriter& backgroundWriter(Stream stream) {
    // Made once and never destroyed (see above).
    static BackgroundWriter* const out = new BackgroundWriter(Stream::Out);
    static BackgroundWriter* const err = new BackgroundWriter(Stream::Err);
    return stream == Stream::Out ? *out : *err;
}

} // namespace

std::size_t writeWithoutWaiting(Stream stream, const std::string& utf8) {
    return backgroundWriter(stream).take(utf8);
}

bool writtenWithin(Stream stream, std::chrono::milliseconds patience) {
    return backgroundWriter(stream).drained(patience);
}

bool isTerminal(Stream stream) {
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
}

} // namespace cli
