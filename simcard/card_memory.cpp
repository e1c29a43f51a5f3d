#include "card_memory.h"

#include <chrono>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace simcard {
namespace {

// Beyond this a name is refused: the systems allow 255 bytes, with the prefix.
constexpr std::size_t kLongestEncoded = 200;

std::string encoded(const std::string& card) {
    static const char digits[] = "0123456789ABCDEF";
    std::string name;
    for (const char c : card.empty() ? std::string("default") : card) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-';
        if (plain)
            name += c;
        else
            name += {'_', digits[byte >> 4], digits[byte & 15]};
    }
    return name.size() > kLongestEncoded ? std::string() : name;
}

} // namespace

// "sim3": the layout of one byte a group and the lines' change times; memory
// of an older layout keeps its own names and is never mistaken for it.
std::uint32_t nowMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::string sharedMemoryName(const std::string& card) {
    const std::string name = encoded(card);
    if (name.empty())
        return {};
#if defined(_WIN32)
    return "Local\\adcard-sim3-" + name; // the session's: one card per user
#else
    // Names are the machine's: the user's id keeps one card per user.
    return "/adcard-sim3-" + std::to_string(getuid()) + "-" + name;
#endif
}

#if defined(_WIN32)
std::string backingFile(const std::string& card) {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    const std::string name = sharedMemoryName(card);
    if (name.empty() || length == 0 || length > MAX_PATH)
        return {};
    std::string utf8(WideCharToMultiByte(CP_UTF8, 0, folder, length, nullptr, 0, nullptr, nullptr),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder, length, utf8.data(), static_cast<int>(utf8.size()),
                        nullptr, nullptr);
    // "Local\adcard-sim3-NAME" in the temporary folder as "adcard-sim3-NAME.bin".
    return utf8 + name.substr(name.find('\\') + 1) + ".bin";
}
#endif

} // namespace simcard
