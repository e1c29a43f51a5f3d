#include "val.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace convert {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (isDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Walks the text while skipping blanks, so that no compacted copy is needed.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    // The next character that is not a blank, or '\0' at the end.
    char peek() {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    void advance() { ++pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

double readHex(Cursor& in) {
    std::uint32_t value = 0;
    int digits = 0;
    for (int d = hexDigit(in.peek()); d >= 0; d = hexDigit(in.peek())) {
        value = (value << 4) | static_cast<std::uint32_t>(d); // keeps the low 32 bits
        ++digits;
        in.advance();
    }
    if (digits <= 4)
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return static_cast<std::int32_t>(value);
}

std::string readDigits(Cursor& in) {
    std::string digits;
    while (isDigit(in.peek())) {
        digits += in.peek();
        in.advance();
    }
    return digits;
}

// An optional sign: true for '-'.
bool readSign(Cursor& in) {
    const char sign = in.peek();
    if (sign != '+' && sign != '-')
        return false;
    in.advance();
    return sign == '-';
}

// The exponent saturates: anything this large already over- or underflows a double.
constexpr long kExponentLimit = 1'000'000;

// The exponent after 'E' or 'e', 0 where there is none.
long readExponent(Cursor& in) {
    if (in.peek() != 'E' && in.peek() != 'e')
        return 0;
    in.advance();
    const bool negative = readSign(in);
    long exponent = 0;
    for (char c = in.peek(); isDigit(c); c = in.peek()) {
        if (exponent < kExponentLimit)
            exponent = exponent * 10 + (c - '0');
        in.advance();
    }
    return negative ? -exponent : exponent;
}

// A number beyond a double's range: an infinity or zero, as the position of
// its first significant digit decides.
double saturated(bool negative, const std::string& whole, const std::string& fraction,
                 long exponent) {
    const auto firstWhole = whole.find_first_not_of('0');
    long magnitude = 0;
    if (firstWhole != std::string::npos) {
        magnitude = static_cast<long>(whole.size() - firstWhole);
    } else {
        const auto firstFraction = fraction.find_first_not_of('0');
        magnitude = -static_cast<long>(firstFraction == std::string::npos ? 0 : firstFraction);
    }
    const double size = magnitude + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -size : size;
}

double readDecimal(Cursor& in) {
    const bool negative = readSign(in);
    const std::string whole = readDigits(in);
    std::string fraction;
    if (in.peek() == '.') {
        in.advance();
        fraction = readDigits(in);
    }
    if (whole.empty() && fraction.empty())
        return 0;
    const long exponent = readExponent(in);

    const std::string canonical = (negative ? "-" : "") + (whole.empty() ? "0" : whole) + "." +
                                  (fraction.empty() ? "0" : fraction) + "e" +
                                  std::to_string(exponent);
    double value = 0;
    const auto result =
        std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        return saturated(negative, whole, fraction, exponent);
    return value;
}

} // namespace

double Val(std::string_view text) {
    Cursor in(text);
    if (in.peek() == '&') {
        in.advance();
        const char marker = in.peek();
        if (marker != 'H' && marker != 'h')
            return 0;
        in.advance();
        return readHex(in);
    }
    return readDecimal(in);
}

} // namespace convert
