#include "convert/format.h"
#include "convert/narrow.h"
#include "convert/printable.h"
#include "convert/utf8.h"
#include "convert/val.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using namespace convert;
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(Val, ReadsTheLeadingNumber) {
    // Decimal, blanks, tabs and line feeds anywhere ignored; no number at all; "&H"
    // with one to four digits an Integer, five to eight a Long, more the low 32 bits;
    // exponents beyond a double's range give an infinity or zero, never a failure.
    // clang-format off
    const std::pair<std::string, double> cases[] = {
        {"5", 5}, {"  12 34 ", 1234}, {"\t-3\n", -3}, {"+7", 7}, {"2.5", 2.5}, {".5", 0.5},
        {"5.", 5}, {"1e3", 1000}, {"1E-2", 0.01}, {"1.5e+2x", 150}, {"1e", 1}, {"1e+", 1},
        {"12abc", 12}, {"1-2", 1}, {"1.2.3", 1.2}, {"- 5", -5}, {"0x10", 0}, {"1,5", 1}, {"", 0},
        {"abc", 0}, {"-", 0}, {".", 0}, {"e5", 0}, {"\r5", 0}, {"通道5", 0}, {"&", 0}, {"&O17", 0},
        {"&HFF", 255}, {"&hff", 255}, {"&H", 0}, {"&Hzz", 0}, {"&H12G4", 0x12}, {"&H7FFF", 32767},
        {"&HFFFF", -1}, {"&H8001", -32767}, {"&H0FFFF", 65535}, {"&HFFFFFFFF", -1},
        {"&H80000000", -2147483648.0}, {"&H1234567890", 0x34567890}, {" &H F F", 255},
        {"1e400", kInf}, {"-1e99999999999999999999", -kInf}, {"1e-400", 0}, {"0.0000001e-320", 0},
        {"0e99999", 0}, {std::string(500, '9'), kInf}, {std::string(100000, ' ') + "42", 42},
        {"0." + std::string(300, '0') + "1e300", 0.1}, {"0." + std::string(400, '0') + "1e10", 0}};
    // clang-format on
    for (const auto& [text, value] : cases)
        EXPECT_EQ(Val(text), value) << '"' << text.substr(0, 40) << '"';
}

// What narrowing gives, or kOverflow for the runtime's overflow error.
constexpr double kOverflow = 1e300;
double narrowed(double (*narrow)(double), double x) {
    try {
        return narrow(x);
    } catch (const OverflowError& e) {
        return std::string(e.what()) == "运行时错误 6：溢出" ? kOverflow : 0;
    }
}

TEST(Narrowing, RoundsTiesToEvenAndOverflowsOutsideTheType) {
    // value, as Integer, as Long
    // clang-format off
    const std::tuple<double, double, double> cases[] = {
        {2.5, 2, 2}, {3.5, 4, 4}, {0.5, 0, 0}, {-2.5, -2, -2}, {-3.5, -4, -4}, {2.4999, 2, 2},
        {2.5001, 3, 3}, {32767.4, 32767, 32767}, {-32768.5, -32768, -32768},
        {32767.5, kOverflow, 32768}, {-32768.51, kOverflow, -32769}, {-32769, kOverflow, -32769},
        {2147483647.0, kOverflow, 2147483647.0}, {-2147483648.0, kOverflow, -2147483648.0},
        {2147483647.5, kOverflow, kOverflow}, {-2147483649.0, kOverflow, kOverflow},
        {kInf, kOverflow, kOverflow}, {std::nan(""), kOverflow, kOverflow}};
    // clang-format on
    for (const auto& [x, integer, longValue] : cases) {
        EXPECT_EQ(narrowed([](double v) -> double { return ToInteger(v); }, x), integer) << x;
        EXPECT_EQ(narrowed([](double v) -> double { return ToLong(v); }, x), longValue) << x;
    }
}

TEST(StrAndHex, WriteTheDesignedTexts) {
    const std::pair<std::int64_t, const char*> str[] = {
        {5, " 5"}, {0, " 0"}, {-5, "-5"}, {-32768, "-32768"}};
    for (const auto& [n, text] : str)
        EXPECT_EQ(Str(n), text);
    const std::pair<std::int16_t, const char*> hex[] = {
        {0, "0"}, {0xAB, "AB"}, {0x1234, "1234"}, {-1, "FFFF"}, {-32767, "8001"}};
    for (const auto& [n, text] : hex)
        EXPECT_EQ(Hex(n), text);
    EXPECT_EQ(Hex(-1), "FFFFFFFF");
}

// What a person typed, quoted back: control characters (C0, DEL, C1) as
// escapes, line breaks and every other character as they are.
TEST(Printable, EscapesControlCharacters) {
    const std::pair<std::string, std::string> cases[] = {{"9=1", "9=1"},
                                                         {"9=1\x1b[2J", "9=1\\x1b[2J"},
                                                         {"a\tb\rc\x7f", "a\\x09b\\x0dc\\x7f"},
                                                         {"\xc2\x9b"
                                                          "31m",
                                                          "\\u009b31m"},
                                                         {"通道\n第二行", "通道\n第二行"},
                                                         {"\xc2\xa0é\xc2", "\xc2\xa0é\xc2"},
                                                         {"x\xc2\x85", "x\\u0085"}};
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(printable(text), shown) << text;
}

TEST(Utf8, WellFormedOrNotAndWhatXmlCarries) {
    const struct {
        const char* name;
        std::string bytes;
        bool valid;
        std::string inXml;
    } rows[] = {
        {"ASCII and Chinese", "SN-1 通道", true, "SN-1 通道"},
        {"the last of the plane, U+FFFD", "\xef\xbf\xbd", true, "\xef\xbf\xbd"},
        {"a noncharacter, U+FFFE", "a\xef\xbf\xbe", true, "a"},
        {"the first beyond it, U+10000", "\xf0\x90\x80\x80", true, "\xf0\x90\x80\x80"},
        {"the last, U+10FFFF", "\xf4\x8f\xbf\xbf", true, "\xf4\x8f\xbf\xbf"},
        {"past the last", "\xf4\x90\x80\x80", false,
         "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"a surrogate", "\xed\xa0\x80", false, "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"an overlong slash", "\xc0\xaf", false, "\xef\xbf\xbd\xef\xbf\xbd"},
        {"a stray byte",
         "a\xff"
         "b",
         false,
         "a\xef\xbf\xbd"
         "b"},
        {"cut short", "\xe9\x80", false, "\xef\xbf\xbd\xef\xbf\xbd"},
        {"controls XML has no place for", "a\x01\tb\r\n\x1f", true, "a\tb\r\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(convert::validUtf8(row.bytes), row.valid) << row.name;
        EXPECT_EQ(convert::xmlCharacters(row.bytes), row.inXml) << row.name;
    }
}

} // namespace
