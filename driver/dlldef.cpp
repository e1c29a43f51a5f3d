#include "dlldef.h"

#include "driver/driver_error.h"
#include "driver/library_header.h"

#include <filesystem>
#include <optional>
#include <utility>

namespace driver {
namespace {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : "、") + item;
    return text;
}

std::string sizes(int size) {
    return "该驱动程序是 " + std::to_string(size) + " 位的，本程序是 " +
           std::to_string(kOwnWordSize) + " 位的，须用 " + std::to_string(kOwnWordSize) +
           " 位的驱动程序。\n";
}

bool otherWordSize(const std::string& path) {
    const std::optional<int> size = libraryWordSize(path);
    return size && *size != kOwnWordSize;
}

// What is known of why the file will not load: a library it needs missing,
// the word sizes where they differ (a 32-bit driver beside a 64-bit program is
// the usual mistake), and the loader's own reason.
std::string notLoadable(const std::string& path, const LoadFailure& failure) {
    std::string text = "运行时错误 48：加载 DLL 错误：" + path + "\n";
    if (failure.neededMissing)
        text += failure.missingNeeded.empty()
                    ? "该驱动程序所需的一个库未找到。\n"
                    : "该驱动程序所需的库未找到：" + joined(failure.missingNeeded) + "\n";
    if (otherWordSize(path))
        text += sizes(*libraryWordSize(path));
    return text + "系统的说明：" + failure.reason;
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(std::filesystem::u8path(path), ignored);
}

} // namespace

DllDef::DllDef(LibrarySearch search) : search_(std::move(search)) {}

DllDef::~DllDef() = default;

SharedLibrary& DllDef::library() {
    if (library_)
        return *library_;
    std::vector<std::string> passedOver;
    for (const auto* folders : {&search_.folders, &search_.systemFolders}) {
        const bool system = folders == &search_.systemFolders;
        for (const std::string& folder : *folders) {
            const bool ended =
                !folder.empty() && (folder.back() == '/' || folder.back() == kSeparator);
            const std::string path =
                folder + (ended ? "" : std::string(1, kSeparator)) + search_.fileName;
            if (!fileExists(path))
                continue;
            if (system && otherWordSize(path)) {
                passedOver.push_back(path);
                continue;
            }
            LoadFailure failure;
            library_ = SharedLibrary::open(path, failure);
            if (library_)
                return *library_;
            // The file the user put here will not load: searching on would load
            // another copy, or call this one missing.
            throw DriverError(DriverError::Kind::LibraryNotLoadable, notLoadable(path, failure));
        }
    }
    std::vector<std::string> searched = search_.folders;
    searched.insert(searched.end(), search_.systemFolders.begin(), search_.systemFolders.end());
    std::string text =
        "运行时错误 53：文件未找到：" + search_.fileName + "\n已查找：" + joined(searched);
    if (!passedOver.empty())
        text += "\n另一字长的，未用：" + joined(passedOver) + "（本程序是 " +
                std::to_string(kOwnWordSize) + " 位的）";
    throw DriverError(DriverError::Kind::LibraryNotFound, text);
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

std::int32_t DllDef::askBoardInfo() {
    boardInfoRequest[0] = ADCARD_BOARD_INFO_REQUEST_0;
    boardInfoRequest[1] = ADCARD_BOARD_INFO_REQUEST_1;
    boardInfoRequest[2] = ADCARD_BOARD_INFO_REQUEST_2;
    return IOCtl(ADCARD_BOARD_INFO_CODE, boardInfoRequest.data(), ADCARD_BOARD_INFO_CODE,
                 boardInfoReply.data());
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

std::optional<std::string> DllDef::lastError() {
    void* address = library().symbol(adcard::AdcardLastErrorName);
    if (!address)
        return std::nullopt;
    const char* text = reinterpret_cast<AdcardAdcardLastErrorFn>(address)();
    return std::string(text ? text : "");
}

std::optional<std::string> DllDef::cardId() {
    void* address = library().symbol(adcard::AdcardCardIdName);
    if (!address)
        return std::nullopt;
    const char* text = reinterpret_cast<AdcardAdcardCardIdFn>(address)();
    return std::string(text ? text : "");
}

std::string DllDef::description() {
    void* address = library().symbol(adcard::AdcardDescriptionName);
    const char* text = address ? reinterpret_cast<AdcardAdcardDescriptionFn>(address)() : nullptr;
    return text ? text : "";
}

std::optional<int> DllDef::inputWords() {
    void* address = library().symbol(adcard::AdcardInputWordsName);
    if (!address)
        return std::nullopt;
    const std::int32_t words = reinterpret_cast<AdcardAdcardInputWordsFn>(address)();
    return words > 0 ? std::optional<int>(words) : std::nullopt;
}

} // namespace driver
