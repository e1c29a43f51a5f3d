#include "log.h"

#include "core/base/console.h"
#include "core/base/diagnostic.h"
#include "core/base/errors.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace cli {

Log::Log(const std::optional<std::string>& path) {
    if (!path)
        return;
    file_.reset(std::fopen(path->c_str(), "a"));
    if (!file_)
        throw UsageError("写不了日志文件“" + *path + "”：" + std::strerror(errno));
    path_ = *path;
}

void Log::say(const std::string& text) {
    const std::string line = diagnosticLine(text);
    if (file_) {
        if (std::fputs(line.c_str(), file_.get()) < 0 || std::fflush(file_.get()) != 0)
            throw OutputFailed("日志文件“" + path_ + "”写不进去：" + std::strerror(errno));
        return;
    }
    if (backlog_.size() + line.size() > kBacklog)
        ++dropped_;
    else
        backlog_ += line;
    flush();
}

void Log::flush() {
    if (dropped_ > 0 && backlog_.size() + 200 < kBacklog) {
        backlog_ += diagnosticLine("日志的读取方停住了，其间有 " + std::to_string(dropped_) +
                                   " 行没有写出");
        dropped_ = 0;
    }
    backlog_.erase(0, writeWithoutWaiting(Stream::Err, backlog_));
}

void Log::finish() {
    if (!file_)
        writeWithin(Stream::Err, backlog_, std::chrono::milliseconds(500));
}

} // namespace cli
