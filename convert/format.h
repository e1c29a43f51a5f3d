#pragma once

#include <cstdint>
#include <string>

namespace convert {

// Decimal text with a leading blank for zero and positive numbers: 5 gives " 5",
// -5 gives "-5".
std::string Str(std::int64_t n);

// Upper-case hexadecimal digits without prefix or leading zeros ("0" for zero).
// A negative number shows its two's complement in the width of its type:
// Hex(std::int16_t{-1}) is "FFFF", Hex(std::int32_t{-1}) is "FFFFFFFF".
std::string Hex(std::int16_t n);
std::string Hex(std::int32_t n);

} // namespace convert
