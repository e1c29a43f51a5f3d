#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

// What a library file's headers tell before it is loaded.

// The word size (32 or 64) it was built for, so that a library of the other
// size can be named as such: the loader itself only says "wrong ELF class" or
// "not a valid Win32 application".
std::optional<int> elfWordSize(std::string_view header);
std::optional<int> peWordSize(std::string_view header);
// The file's word size in this system's format (ELF, or PE on Windows); none
// when it cannot be read or is not such a file.
std::optional<int> libraryWordSize(const std::string& path);

// The names of the libraries a PE image (a whole DLL file) imports, in order;
// empty when the image cannot be read as one.
std::vector<std::string> peImportedLibraries(std::string_view image);

constexpr int kOwnWordSize = static_cast<int>(sizeof(void*) * 8);

} // namespace driver
