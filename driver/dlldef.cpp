#include "dlldef.h"

#include "driver/driver_error.h"
#include "driver/word_size.h"

#include <filesystem>
#include <optional>
#include <utility>

namespace driver {
namespace {

#if defined(_WIN32)
constexpr const char* kCardDriverFile = "adcard.dll";
constexpr char kSeparator = '\\';
#else
constexpr const char* kCardDriverFile = "libadcard.so";
constexpr char kSeparator = '/';
#endif

// The word sizes in words where they differ (a 32-bit driver beside a 64-bit
// panel is the usual mistake), and the loader's own reason.
std::string whyNotLoadable(const std::string& path, const std::string& error) {
    std::string why;
    const std::optional<int> size = libraryWordSize(path);
    if (size && *size != kOwnWordSize)
        why = "该驱动程序是 " + std::to_string(*size) + " 位的，本程序是 " +
              std::to_string(kOwnWordSize) + " 位的，须用 " + std::to_string(kOwnWordSize) +
              " 位的驱动程序。\n";
    return why + "系统的说明：" + error;
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(std::filesystem::u8path(path), ignored);
}

} // namespace

LibrarySearch LibrarySearch::cardDriver() {
    LibrarySearch search{kCardDriverFile, {}, true};
    const std::string here = executableDirectory();
    if (!here.empty())
        search.folders.push_back(here);
    return search;
}

LibrarySearch LibrarySearch::cardDriverIn(const std::string& folder) {
    return {kCardDriverFile, {folder}, false};
}

DllDef::DllDef(LibrarySearch search) : search_(std::move(search)) {}

DllDef::~DllDef() = default;

SharedLibrary& DllDef::library() {
    if (library_)
        return *library_;

    std::string searched;
    for (const std::string& folder : search_.folders) {
        const std::string path = folder + kSeparator + search_.fileName;
        searched += (searched.empty() ? "" : "、") + folder;
        if (!fileExists(path))
            continue;
        std::string error;
        library_ = SharedLibrary::openPath(path, error);
        if (library_)
            return *library_;
        // The file the user put here will not load: searching on would load
        // another copy, or call this one missing.
        throw DriverError(DriverError::Kind::LibraryNotLoadable, "运行时错误 48：加载 DLL 错误：" +
                                                                     path + "\n" +
                                                                     whyNotLoadable(path, error));
    }
    std::string reason;
    if (search_.systemSearch) {
        library_ = SharedLibrary::openFromSystem(search_.fileName, reason);
        if (library_)
            return *library_;
        searched += (searched.empty() ? "" : "、") + std::string("系统库路径");
    }
    throw DriverError(DriverError::Kind::LibraryNotFound,
                      "运行时错误 53：文件未找到：" + search_.fileName + "\n已查找：" + searched +
                          (reason.empty() ? "" : "\n系统的说明：" + reason));
}

template <typename Fn> Fn DllDef::entry(Fn& slot, const char* exportedName) {
    if (slot)
        return slot;
    SharedLibrary& lib = library();
    void* address = lib.symbol(exportedName);
    if (!address)
        throw DriverError(DriverError::Kind::EntryPointNotFound,
                          "运行时错误 453：在 " + lib.path() + " 中找不到 DLL 入口点 " +
                              exportedName);
    slot = reinterpret_cast<Fn>(address);
    return slot;
}

std::int32_t DllDef::IOCtl(std::int32_t requestCode, std::uint8_t* request, std::int32_t replyCode,
                           std::uint8_t* reply) {
    return entry(ioctl_, adcard::IOCtlName)(requestCode, request, replyCode, reply);
}

std::int16_t DllDef::Zan_DI(std::int16_t count, std::int16_t* words) {
    return entry(zanDI_, adcard::Zan_DIName)(count, words);
}

std::int16_t DllDef::Zan_DOBit(std::int16_t bitIndex, std::int16_t bitValue) {
    return entry(zanDOBit_, adcard::Zan_DOBitName)(bitIndex, bitValue);
}

std::int16_t DllDef::Zan_DO(std::int16_t group, std::int16_t byteValue) {
    return entry(zanDO_, adcard::Zan_DOName)(group, byteValue);
}

} // namespace driver
