// Any bytes as text through Val (decimal and "&H"), then narrowing, Str and Hex.
#include "convert/format.h"
#include "convert/narrow.h"
#include "convert/val.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace convert;

bool inRange(double x, double low, double high) {
    return x >= low && x <= high;
}

// Narrowing either fits (within half of the value) or reports overflow exactly
// when the rounded value lies outside the type.
void checkNarrowing(double v) {
    const double rounded = RoundHalfEven(v);
    FUZZ_CHECK(std::isnan(v) || std::isinf(v) || std::fabs(rounded - v) <= 0.5);
    try {
        const std::int16_t i = ToInteger(v);
        FUZZ_CHECK(inRange(rounded, -32768, 32767) && rounded == i);
        const std::string s = Str(i);
        FUZZ_CHECK(s[0] == (i < 0 ? '-' : ' '));
        FUZZ_CHECK(Val(s) == i);
        FUZZ_CHECK(Val("&H" + Hex(i)) == i);
        FUZZ_CHECK(Hex(i).size() <= 4);
    } catch (const OverflowError&) {
        FUZZ_CHECK(!inRange(rounded, -32768, 32767));
    }
    try {
        const std::int32_t l = ToLong(v);
        FUZZ_CHECK(inRange(rounded, -2147483648.0, 2147483647.0) && rounded == l);
        FUZZ_CHECK(Val(Str(l)) == l);
        // One to four digits read back as an Integer: the same low 16 bits.
        const std::string hex = Hex(l);
        const double back = Val("&H" + hex);
        if (hex.size() > 4)
            FUZZ_CHECK(back == l);
        else
            FUZZ_CHECK(static_cast<std::int16_t>(back) == static_cast<std::int16_t>(l));
    } catch (const OverflowError&) {
        FUZZ_CHECK(!inRange(rounded, -2147483648.0, 2147483647.0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double decimal = Val(text);
    FUZZ_CHECK(!std::isnan(decimal));
    checkNarrowing(decimal);

    // "&H" is always a whole number within a Long, so narrowing to Long never fails.
    const double hex = Val("&H" + std::string(text));
    FUZZ_CHECK(inRange(hex, -2147483648.0, 2147483647.0) && hex == std::floor(hex));
    ToLong(hex);
    checkNarrowing(hex);
    return 0;
}
