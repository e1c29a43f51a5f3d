#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace convert {

// The character whose UTF-8 starts at `at`, and its length in bytes; -1 (and
// a length of 1) for a byte that starts none: a stray or missing continuation
// byte, an overlong form, a surrogate, anything past U+10FFFF.
struct Decoded {
    long code;
    std::size_t size;
};
Decoded decodeUtf8(std::string_view bytes, std::size_t at);

// Whether the bytes are well-formed UTF-8 throughout.
bool validUtf8(std::string_view bytes);

// The text as XML 1.0 can carry it: each byte that starts no character
// becomes U+FFFD, and the characters XML has no place for (controls but tab
// and line breaks, U+FFFE, U+FFFF) are dropped.
std::string xmlCharacters(std::string_view bytes);

} // namespace convert
