#include "convert/format.h"
#include "convert/narrow.h"
#include "convert/val.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using convert::Hex;
using convert::Str;
using convert::ToInteger;
using convert::ToLong;
using convert::Val;

struct ValCase {
    const char* text;
    double expected;
};

class ValReads : public testing::TestWithParam<ValCase> {};

TEST_P(ValReads, TheLeadingNumber) {
    EXPECT_DOUBLE_EQ(Val(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Decimal, ValReads,
                         testing::Values(ValCase{"5", 5}, ValCase{"  12 34 ", 1234},
                                         ValCase{"\t-3\n", -3}, ValCase{"+7", 7},
                                         ValCase{"2.5", 2.5}, ValCase{".5", 0.5}, ValCase{"5.", 5},
                                         ValCase{"1e3", 1000}, ValCase{"1E-2", 0.01},
                                         ValCase{"1.5e+2x", 150}, ValCase{"1e", 1},
                                         ValCase{"1e+", 1}, ValCase{"12abc", 12}, ValCase{"1-2", 1},
                                         ValCase{"1.2.3", 1.2}, ValCase{"- 5", -5},
                                         ValCase{"0x10", 0}, ValCase{"1,5", 1}));

INSTANTIATE_TEST_SUITE_P(NoNumber, ValReads,
                         testing::Values(ValCase{"", 0}, ValCase{"abc", 0}, ValCase{"x1", 0},
                                         ValCase{"-", 0}, ValCase{".", 0}, ValCase{"e5", 0},
                                         ValCase{"   ", 0}, ValCase{"\r5", 0}, ValCase{"通道5", 0},
                                         ValCase{"&", 0}, ValCase{"&O17", 0}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, ValReads,
    testing::Values(ValCase{"&HFF", 255}, ValCase{"&hff", 255}, ValCase{"&H", 0},
                    ValCase{"&Hzz", 0}, ValCase{"&H12G4", 0x12}, ValCase{"&H7FFF", 32767},
                    ValCase{"&HFFFF", -1}, ValCase{"&H8001", -32767}, ValCase{"&H0FFFF", 65535},
                    ValCase{"&H10000", 65536}, ValCase{"&HFFFFFFFF", -1},
                    ValCase{"&H7FFFFFFF", 2147483647}, ValCase{"&H80000000", -2147483648.0},
                    ValCase{"&H1234567890", 0x34567890}, ValCase{"&H123456789ABCDEF0", -1698898192},
                    ValCase{" &H F F", 255}));

TEST(Val, HugeExponentsOverflowOrVanishWithoutFailing) {
    EXPECT_EQ(Val("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Val("-1e99999999999999999999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(Val("1e-400"), 0.0);
    EXPECT_EQ(Val("0.0000001e-320"), 0.0);
    EXPECT_EQ(Val("0e99999"), 0.0);
    EXPECT_EQ(Val(std::string(500, '9')), std::numeric_limits<double>::infinity());
    EXPECT_THROW(ToInteger(Val("1e400")), convert::OverflowError);
}

TEST(Val, LongTextsAreReadWhole) {
    EXPECT_EQ(Val(std::string(100000, ' ') + "42"), 42);
    EXPECT_EQ(Val("0." + std::string(300, '0') + "1e300"), 0.1);
}

struct NarrowCase {
    double in;
    int expected;
};

class NarrowsToInteger : public testing::TestWithParam<NarrowCase> {};

TEST_P(NarrowsToInteger, RoundingTiesToEven) {
    EXPECT_EQ(ToInteger(GetParam().in), GetParam().expected) << GetParam().in;
    EXPECT_EQ(ToLong(GetParam().in), GetParam().expected) << GetParam().in;
}

INSTANTIATE_TEST_SUITE_P(Ties, NarrowsToInteger,
                         testing::Values(NarrowCase{2.5, 2}, NarrowCase{3.5, 4}, NarrowCase{0.5, 0},
                                         NarrowCase{1.5, 2}, NarrowCase{-2.5, -2},
                                         NarrowCase{-3.5, -4}, NarrowCase{2.4999, 2},
                                         NarrowCase{2.5001, 3}, NarrowCase{-0.4, 0},
                                         NarrowCase{32767.4, 32767}, NarrowCase{-32768.5, -32768}));

TEST(Narrow, OverflowsAtBothEndsOfEachType) {
    EXPECT_EQ(ToInteger(32767), 32767);
    EXPECT_EQ(ToInteger(-32768), -32768);
    EXPECT_THROW(ToInteger(32767.5), convert::OverflowError); // rounds to 32768
    EXPECT_THROW(ToInteger(32768), convert::OverflowError);
    EXPECT_THROW(ToInteger(-32768.51), convert::OverflowError);
    EXPECT_THROW(ToInteger(-32769), convert::OverflowError);
    EXPECT_THROW(ToInteger(std::nan("")), convert::OverflowError);
    EXPECT_EQ(ToLong(2147483647.0), 2147483647);
    EXPECT_EQ(ToLong(-2147483648.0), -2147483647 - 1);
    EXPECT_THROW(ToLong(2147483647.5), convert::OverflowError);
    EXPECT_THROW(ToLong(-2147483649.0), convert::OverflowError);
    EXPECT_THROW(ToLong(std::numeric_limits<double>::infinity()), convert::OverflowError);
}

TEST(Str, LeadsWithABlankUnlessNegative) {
    EXPECT_EQ(Str(5), " 5");
    EXPECT_EQ(Str(0), " 0");
    EXPECT_EQ(Str(-5), "-5");
    EXPECT_EQ(Str(255), " 255");
    EXPECT_EQ(Str(-32768), "-32768");
}

TEST(Hex, UpperCaseWithoutLeadingZeros) {
    EXPECT_EQ(Hex(std::int16_t{0}), "0");
    EXPECT_EQ(Hex(std::int16_t{5}), "5");
    EXPECT_EQ(Hex(std::int16_t{0x1234}), "1234");
    EXPECT_EQ(Hex(std::int16_t{0x00AB}), "AB");
    EXPECT_EQ(Hex(std::int16_t{-1}), "FFFF");
    EXPECT_EQ(Hex(std::int16_t{-32767}), "8001");
    EXPECT_EQ(Hex(std::int16_t{-32768}), "8000");
    EXPECT_EQ(Hex(std::int32_t{-1}), "FFFFFFFF");
    EXPECT_EQ(Hex(std::int32_t{0x100}), "100");
}

TEST(RoundTrip, StrAndHexReadBackThroughVal) {
    for (int n = -32768; n <= 32767; n += 7) {
        const auto i = static_cast<std::int16_t>(n);
        ASSERT_EQ(ToInteger(Val(Str(i))), i);
        ASSERT_EQ(ToInteger(Val("&H" + Hex(i))), i);
    }
}

} // namespace
