#include "word_size.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace driver {
namespace {

std::uint32_t littleEndian(std::string_view bytes, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Enough for the DOS stub and the PE headers of any linker's output.
constexpr std::size_t kHeaderBytes = 4096;
constexpr std::string_view kElfMagic("\x7f"
                                     "ELF");
constexpr std::string_view kPeSignature("PE\0\0", 4);

} // namespace

std::optional<int> elfWordSize(std::string_view header) {
    if (header.size() < 5 || header.substr(0, 4) != kElfMagic)
        return std::nullopt;
    switch (header[4]) {
    case 1:
        return 32;
    case 2:
        return 64;
    default:
        return std::nullopt;
    }
}

std::optional<int> peWordSize(std::string_view header) {
    if (header.size() < 0x40 || header.substr(0, 2) != "MZ")
        return std::nullopt;
    const std::size_t pe = littleEndian(header, 0x3C, 4);
    // "PE\0\0", the 20-byte file header, then the optional header's magic.
    if (pe > header.size() - 26 || header.substr(pe, 4) != kPeSignature)
        return std::nullopt;
    switch (littleEndian(header, pe + 24, 2)) {
    case 0x10B:
        return 32;
    case 0x20B:
        return 64;
    default:
        return std::nullopt;
    }
}

std::optional<int> libraryWordSize(const std::string& path) {
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    std::string header(kHeaderBytes, '\0');
    file.read(header.data(), static_cast<std::streamsize>(header.size()));
    header.resize(static_cast<std::size_t>(file.gcount()));
#if defined(_WIN32)
    return peWordSize(header);
#else
    return elfWordSize(header);
#endif
}

} // namespace driver
