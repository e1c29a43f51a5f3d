#include "library_header.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

namespace driver {
namespace {

// The little-endian number of `size` bytes at `at`, or none past the end.
std::optional<std::uint32_t> littleEndian(std::string_view bytes, std::size_t at,
                                          std::size_t size) {
    if (at > bytes.size() || bytes.size() - at < size)
        return std::nullopt;
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

// Where the optional header starts, and its magic: 0x10B for 32 bits, 0x20B for 64.
struct PeLayout {
    std::size_t optionalHeader;
    std::uint32_t magic;
};

std::optional<PeLayout> peLayout(std::string_view image) {
    if (image.substr(0, 2) != "MZ")
        return std::nullopt;
    const auto pe = littleEndian(image, 0x3C, 4);
    // "PE\0\0", then the 20-byte file header, then the optional header.
    if (!pe || image.substr(*pe, 4) != kPeSignature)
        return std::nullopt;
    const auto magic = littleEndian(image, *pe + 24, 2);
    if (!magic)
        return std::nullopt;
    return PeLayout{*pe + 24, *magic};
}

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
    const auto layout = peLayout(header);
    if (!layout)
        return std::nullopt;
    switch (layout->magic) {
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

std::vector<std::string> peImportedLibraries(std::string_view image) {
    const auto layout = peLayout(image);
    const auto size = peWordSize(image);
    if (!layout || !size)
        return {};
    const std::size_t fileHeader = layout->optionalHeader - 20;
    const auto sections = littleEndian(image, fileHeader + 2, 2);
    const auto optionalSize = littleEndian(image, fileHeader + 16, 2);
    // The import table's entry in the data directories.
    const auto imports = littleEndian(image, layout->optionalHeader + (*size == 32 ? 104 : 120), 4);
    if (!sections || !optionalSize || !imports)
        return {};
    const std::size_t sectionTable = layout->optionalHeader + *optionalSize;
    // A relative virtual address as an offset into the file, through the section holding it.
    auto offsetOf = [&](std::uint32_t rva) -> std::optional<std::size_t> {
        for (std::uint32_t s = 0; s < *sections; ++s) {
            const std::size_t at = sectionTable + std::size_t{40} * s;
            const auto address = littleEndian(image, at + 12, 4);
            const auto rawSize = littleEndian(image, at + 16, 4);
            const auto rawOffset = littleEndian(image, at + 20, 4);
            if (address && rawSize && rawOffset && rva >= *address && rva - *address < *rawSize)
                return std::size_t{*rawOffset} + (rva - *address);
        }
        return std::nullopt;
    };
    std::vector<std::string> names;
    auto descriptor = offsetOf(*imports);
    // 20-byte descriptors, the name's address at 12, ended by one of zeros.
    for (; descriptor; *descriptor += 20) {
        const auto nameAddress = littleEndian(image, *descriptor + 12, 4);
        const auto name = nameAddress ? offsetOf(*nameAddress) : std::nullopt;
        if (!name || *nameAddress == 0)
            break;
        // A name cut off by the file's end, or empty, is no name to show a user.
        const std::size_t end = image.find('\0', *name);
        if (end == std::string_view::npos || end == *name)
            break;
        names.emplace_back(image.substr(*name, end - *name));
    }
    return names;
}

} // namespace driver
