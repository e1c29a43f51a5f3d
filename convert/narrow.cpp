#include "narrow.h"

#include <cmath>

namespace convert {

OverflowError::OverflowError() : std::runtime_error("运行时错误 6：溢出") {}

double RoundHalfEven(double x) {
    if (!std::isfinite(x))
        return x;
    if (std::fabs(x - std::trunc(x)) == 0.5)
        return 2.0 * std::round(x / 2.0);
    return std::round(x);
}

namespace {

template <typename Int> Int narrow(double x, double low, double high) {
    const double r = RoundHalfEven(x);
    if (!(r >= low && r <= high)) // also catches NaN
        throw OverflowError();
    return static_cast<Int>(r);
}

} // namespace

std::int16_t ToInteger(double x) {
    return narrow<std::int16_t>(x, -32768.0, 32767.0);
}

std::int32_t ToLong(double x) {
    return narrow<std::int32_t>(x, -2147483648.0, 2147483647.0);
}

} // namespace convert
