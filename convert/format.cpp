#include "format.h"

namespace convert {
namespace {

std::string hexDigits(std::uint32_t pattern) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string reversed;
    do {
        reversed += kDigits[pattern & 0xF];
        pattern >>= 4;
    } while (pattern != 0);
    return std::string(reversed.rbegin(), reversed.rend());
}

} // namespace

std::string Str(std::int64_t n) {
    return (n >= 0 ? " " : "") + std::to_string(n);
}

std::string Hex(std::int16_t n) {
    return hexDigits(static_cast<std::uint16_t>(n));
}

std::string Hex(std::int32_t n) {
    return hexDigits(static_cast<std::uint32_t>(n));
}

} // namespace convert
