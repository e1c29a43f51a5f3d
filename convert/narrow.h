#pragma once

#include <cstdint>
#include <stdexcept>

namespace convert {

// The runtime's overflow error: a number does not fit the type it is narrowed to.
class OverflowError : public std::runtime_error {
public:
    OverflowError();
};

// Rounds to the nearest integer, ties to even (2.5 gives 2, 3.5 gives 4).
// Infinities and NaN are returned as they are.
double RoundHalfEven(double x);

// Narrowing to Integer (16-bit) and Long (32-bit): rounds ties to even and
// throws OverflowError outside the type's range (NaN included).
std::int16_t ToInteger(double x);
std::int32_t ToLong(double x);

} // namespace convert
