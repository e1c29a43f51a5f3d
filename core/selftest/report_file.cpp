#include "report_file.h"

#include "core/base/errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include "driver/win_text.h"
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace cli {
namespace {

std::filesystem::path pathOf(const std::string& utf8) {
#if defined(_WIN32)
    return std::filesystem::path(driver::widen(utf8));
#else
    return std::filesystem::path(utf8);
#endif
}

std::string utf8Of(const std::filesystem::path& path) {
#if defined(_WIN32)
    return path.u8string();
#else
    return path.string();
#endif
}

// A new file, opened for writing; null (errno set) where it exists already.
std::FILE* createNew(const std::string& path) {
#if defined(_WIN32)
    int fd = -1;
    if (_wsopen_s(&fd, driver::widen(path).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                  _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0)
        return nullptr;
    return _fdopen(fd, "wb");
#else
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    return fd < 0 ? nullptr : fdopen(fd, "w");
#endif
}

// An existing file (a device, a pipe) opened for writing.
std::FILE* openExisting(const std::string& path) {
#if defined(_WIN32)
    return _wfopen(driver::widen(path).c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

bool flushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0)
        return false;
#if defined(_WIN32)
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

} // namespace

ReportFile::ReportFile(const std::string& path) : path_(path) {
    std::error_code unknown;
    const auto status = std::filesystem::status(pathOf(path), unknown);
    if (std::filesystem::is_directory(status))
        throw UsageError("写不了报告文件“" + path + "”：这是一个文件夹");
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        direct_ = true;
        return;
    }
    std::error_code unresolved;
    const auto resolved = std::filesystem::canonical(pathOf(path), unresolved);
    target_ = unresolved ? path : utf8Of(resolved);
    int error = 0;
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        part_ = target_ + ".part" + std::to_string(attempt);
        file_ = createNew(part_);
        error = errno;
        if (!file_ && error != EEXIST)
            break;
    }
    if (!file_)
        throw UsageError("写不了报告文件“" + path + "”：" + std::strerror(error));
}

ReportFile::~ReportFile() {
    if (file_) {
        std::fclose(file_);
        std::error_code ignored; // the part file of a report that never came
        std::filesystem::remove(pathOf(part_), ignored);
    }
}

void ReportFile::commit(const std::string& text) {
    errno = 0;
    if (direct_) {
        std::FILE* file = openExisting(path_);
        bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                       std::fflush(file) == 0;
        const int error = errno;
        written = file && std::fclose(file) == 0 && written;
        if (!written)
            throw OutputFailed("报告文件“" + path_ + "”写不进去：" +
                               std::strerror(error ? error : EIO));
        return;
    }
    bool written =
        std::fwrite(text.data(), 1, text.size(), file_) == text.size() && flushToDisk(file_);
    int error = errno;
    written = std::fclose(file_) == 0 && written;
    error = error ? error : errno;
    file_ = nullptr;
    std::error_code renamed;
    if (written)
        std::filesystem::rename(pathOf(part_), pathOf(target_), renamed);
    if (written && !renamed)
        return;
    std::error_code ignored;
    std::filesystem::remove(pathOf(part_), ignored);
    throw OutputFailed("报告文件“" + path_ + "”写不进去：" +
                       (renamed ? renamed.message() : std::strerror(error ? error : EIO)));
}

void commitIfAsked(std::optional<ReportFile>& file, const std::string& text,
                   std::optional<Failure>& failed) {
    try {
        if (file)
            file->commit(text);
    } catch (const OutputFailed& e) {
        keepFirst(failed, e);
    }
}

} // namespace cli
