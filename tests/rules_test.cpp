// The panel's rules, without a window: from a text to what is sent, and from
// the card's answer to the captions.
#include "rules/bit_output.h"
#include "rules/board_info.h"
#include "rules/byte_output.h"
#include "rules/input_captions.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

namespace {

// A text as typed; the channel; the bit value sent; the value box toggled; the
// channel group (none: refused); the byte sent for it typed in hexadecimal.
struct Typed {
    const char* what;
    const char* text;
    int channel, bit;
    const char* toggled;
    std::optional<int> group;
    int byte;
};
constexpr std::nullopt_t kRefused = std::nullopt;
// clang-format off
const Typed kTyped[] = {
    {"zero", "0", 1, 0, " 1", 0, 0},
    {"a channel", "5", 5, 1, " 0", 5, 5},
    {"negative", "-3", 1, 1, " 0", -3, 0},
    {"letters", "abc", 1, 0, " 1", 0, 0xBC},
    {"empty", "", 1, 0, " 1", 0, 0},
    {"the last channel", "128", 128, 1, " 0", 128, 0x28},
    {"past the last channel", "200", 128, 1, " 0", 200, 0},
    {"a tie rounds to even (down)", "2.5", 2, 1, " 0", 2, 2},
    {"a tie rounds to even (up)", "3.5", 4, 1, " 0", 4, 3},
    {"a half rounds to 0", "0.5", 1, 0, " 0", 0, 0},
    {"minus a half rounds to 0", "-0.5", 1, 0, " 0", 0, 0},
    {"under a half", "0.4", 1, 0, " 0", 0, 0},
    {"one and a half", "1.5", 2, 1, " 0", 2, 1},
    {"blanks inside a number", " 1 2", 12, 1, " 0", 12, 0x12},
    {"a letter first", "x1", 1, 0, " 1", 0, 0},
    {"Chinese", "通道", 1, 0, " 1", 0, 0},
    {"&H hexadecimal", "&H10", 16, 1, " 0", 16, 0x10},
    {"&HFFFF is -1", "&HFFFF", 1, 1, " 0", -1, 255},
    {"&H past 16 bits", "&H10000", 128, 1, " 0", kRefused, 0},
    {"an exponent past the group range", "1e10", 128, 1, " 0", kRefused, 0x10},
    {"past the group range", "40000", 128, 1, " 0", kRefused, 0},
    {"under the group range", "-40000", 1, 1, " 0", kRefused, 0},
    {"the largest group", "32767", 128, 1, " 0", 32767, 0x67},
    {"a tie past the largest group", "32767.5", 128, 1, " 0", kRefused, 0x67},
    {"a tie at the smallest group", "-32768.5", 1, 1, " 0", -32768, 0},
    {"a tie under the largest group", "32766.5", 128, 1, " 0", 32766, 0x66},
    {"an infinite number", "1e999999", 128, 1, " 0", kRefused, 0x99},
    {"minus infinity", "-1e999999", 1, 1, " 0", kRefused, 0},
    {"hexadecimal letters", "FF", 1, 0, " 1", 0, 255},
    {"small hexadecimal letters", "ff", 1, 0, " 1", 0, 255},
    {"three hexadecimal digits", "1A5", 1, 1, " 0", 1, 0xA5},
    {"a letter past F", "12G4", 12, 1, " 0", 12, 0x12},
    {"the largest Long", "7FFFFFFF", 7, 1, " 0", 7, 255},
    {"past the largest Long", "80000000", 128, 1, " 0", kRefused, 0},
    {"a negative Long", "FFFFFF80", 1, 0, " 1", 0, 0x80},
    {"blanks between hexadecimal digits", " f f ", 1, 0, " 1", 0, 255},
    {"more than eight hexadecimal digits", "123456789AB", 128, 1, " 0", kRefused, 0xAB},
    {"twenty-two hexadecimal digits", "FFFFFFFFFFFFFFFFFFFF01", 1, 0, " 1", 0, 1},
    {"no hexadecimal digit", "zz", 1, 0, " 1", 0, 0},
    {"a full-width digit", "１", 1, 1, " 0", 1, 1},
    {"full-width digits", "１２", 12, 1, " 0", 12, 0x12},
    {"full-width letters", "ＦＦ", 1, 0, " 1", 0, 255},
    {"full-width small letters", "ｆｆ", 1, 0, " 1", 0, 255},
    {"an ideographic space", "　５", 5, 1, " 0", 5, 5},
    {"a full-width minus", "－３", 1, 1, " 0", -3, 0},
    {"a full-width point", "２．５", 2, 1, " 0", 2, 2},
    {"a 0x prefix", "0x3C", 1, 0, " 1", 0, 60},
    {"a blank and a 0X prefix", " 0X3c", 1, 0, " 1", 0, 60},
    {"an &H prefix", "&H3C", 60, 1, " 0", 60, 60},
    {"an &h prefix", "&h3c", 60, 1, " 0", 60, 60},
    {"a full-width 0x prefix", "０ｘ３Ｃ", 1, 0, " 1", 0, 60},
    {"a prefix alone", "0x", 1, 0, " 1", 0, 0},
    {"two prefixes", "0x&H5", 1, 0, " 1", 0, 0},
    {"Chinese then a digit", "通道１", 1, 0, " 1", 0, 0}};
// clang-format on

TEST(Rules, TurnWhatIsTypedIntoWhatIsSent) {
    for (const Typed& t : kTyped) {
        EXPECT_EQ(rules::channelFromText(t.text), t.channel) << t.what;
        EXPECT_EQ(rules::bitValueFromText(t.text), t.bit) << t.what;
        EXPECT_EQ(rules::toggledBitText(t.text), t.toggled) << t.what;
        const std::optional<std::int16_t> group = rules::groupFromText(t.text);
        EXPECT_EQ(group ? std::optional<int>(*group) : std::nullopt, t.group) << t.what;
        EXPECT_EQ(rules::byteFromHexText(t.text), t.byte) << t.what;
    }
}

TEST(Rules, QuoteAtMostFortyWholeCharactersOfARefusedGroup) {
    std::string forty(40, '9'), fortyChinese;
    for (int i = 0; i < 40; ++i)
        fortyChinese += "九";
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"32768", "32768"}, {forty, forty}, {forty + "9", forty + "…"},
        {fortyChinese, fortyChinese}, {fortyChinese + "九", fortyChinese + "…"}};
    // clang-format on
    for (const auto& [text, quoted] : cases)
        EXPECT_EQ(rules::groupRefusedMessage(text),
                  "通道组“" + quoted + "”超出范围（-32768 到 32767），未输出。");
}

// Bit 8 of word 1 shows in its hexadecimal form only, never in its bit row.
TEST(Rules, CaptionTheInputWordsTheCardReturns) {
    using Words = std::array<std::int16_t, 4>;
    // clang-format off
    const std::pair<Words, std::vector<std::string>> cases[] = {
        {{5, -32767, 0, 0x1234},
         {"5-8001-0-1234", "5      0   0   0   0   0   1   0   1", "8001      0   0   0   0   0   0   0   1"}},
        {{-1, 0x0100, 0x00FF, 0x7FFF},
         {"FFFF-100-FF-7FFF", "FFFF      1   1   1   1   1   1   1   1", "100      0   0   0   0   0   0   0   0"}},
        {{0x1234, -32768, 0, 0},
         {"1234-8000-0-0", "1234      0   0   1   1   0   1   0   0", "8000      0   0   0   0   0   0   0   0"}},
        {{0, 0, 0, 0},
         {"0-0-0-0", "0      0   0   0   0   0   0   0   0", "0      0   0   0   0   0   0   0   0"}}};
    // clang-format on
    for (const auto& [words, shown] : cases) {
        const rules::InputCaptions captions = rules::inputCaptions(words);
        EXPECT_EQ(captions.words, shown[0]);
        EXPECT_EQ(captions.word0, shown[1]);
        EXPECT_EQ(captions.word1, shown[2]);
        EXPECT_EQ(captions.header, "            7   6   5   4   3   2   1   0");
    }
}

// No blank but Str's own between "ZAN" and the numbers, none before "类型：".
TEST(Rules, CaptionTheBoard) {
    EXPECT_EQ(rules::boardCaption(0, 0, 0), "卡名：ZAN 0 0类型： 0");
    EXPECT_EQ(rules::boardCaption(255, 12, 3), "卡名：ZAN 255 12类型： 3");
}

} // namespace
