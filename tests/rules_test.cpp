// The panel's rules without a window: from a text to what is sent, and from the
// card's words to the captions.
#include "driver/dlldef.h"
#include "fake_card.h"
#include "rules/bit_output.h"
#include "rules/board_info.h"
#include "rules/byte_output.h"
#include "rules/input_captions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(BoardInfoCaption, JoinsTheFieldsWithOnlyStrBlanks) {
    EXPECT_EQ(rules::boardInfoCaption(80, 12, 3), "卡名：ZAN 80 12类型： 3");
    EXPECT_EQ(rules::boardInfoCaption(0, 0, 0), "卡名：ZAN 0 0类型： 0");
    EXPECT_EQ(rules::boardInfoCaption(255, 255, 255), "卡名：ZAN 255 255类型： 255");
}

TEST(ReadBoardInfo, AsksOnceAndShowsBytesZeroOneAndFour) {
    FakeCard fake;
    driver::DllDef dll(fake.search());
    fake.setReply({80, 12, 77, 66, 3, 55});
    EXPECT_EQ(rules::readBoardInfo(dll), "卡名：ZAN 80 12类型： 3");
    EXPECT_EQ(fake.calls(), (std::vector<std::string>{"IOCtl(100,70,64,0,100)"}));
    EXPECT_EQ(fake.lastBuffer(), dll.boardInfoReply.data());
    EXPECT_TRUE(std::all_of(dll.boardInfoRequest.begin() + 3, dll.boardInfoRequest.end(),
                            [](auto b) { return b == 0; }));
}

// The driver's result is not narrowed: a value outside an Integer does not end the program.
TEST(ReadBoardInfo, AnyResultOfTheCallIsDropped) {
    FakeCard fake;
    driver::DllDef dll(fake.search());
    for (std::int32_t result : {0, -1, 32768, -32769, 0x7FFFFFFF}) {
        fake.setIOCtlResult(result);
        EXPECT_EQ(rules::readBoardInfo(dll), "卡名：ZAN 0 0类型： 0") << result;
    }
}

struct CaptionCase {
    std::vector<std::int16_t> words;
    const char* lblDI;
    const char* lblDI_0;
    const char* lblDI_1;
};

const char* const kHeader = "            7   6   5   4   3   2   1   0";

TEST(ReadInputs, ReadsFourWordsIntoTheBufferAndCaptionsThem) {
    const std::vector<CaptionCase> cases = {
        {{5, -32767, 0, 0x1234},
         "5-8001-0-1234",
         "5      0   0   0   0   0   1   0   1",
         "8001      0   0   0   0   0   0   0   1"},
        {{0, 0, 0, 0},
         "0-0-0-0",
         "0      0   0   0   0   0   0   0   0",
         "0      0   0   0   0   0   0   0   0"},
        // Bit 8 of word 1 shows in its hexadecimal form only, never in its bit row.
        {{-1, 0x0100, 0x00FF, 0x7FFF},
         "FFFF-100-FF-7FFF",
         "FFFF      1   1   1   1   1   1   1   1",
         "100      0   0   0   0   0   0   0   0"},
        {{0x1234, -32768, 1, -2, 0x55, 0x66},
         "1234-8000-1-FFFE",
         "1234      0   0   1   1   0   1   0   0",
         "8000      0   0   0   0   0   0   0   0"},
    };
    FakeCard fake;
    driver::DllDef dll(fake.search());
    for (const auto& c : cases) {
        fake.reset();
        fake.setInputWords(c.words);
        const rules::InputCaptions captions = rules::readInputs(dll);
        EXPECT_EQ(fake.calls(), (std::vector<std::string>{"Zan_DI(4)"}));
        EXPECT_EQ(fake.lastBuffer(), dll.diBuffer.data());
        EXPECT_EQ(captions.words, c.lblDI);
        EXPECT_EQ(captions.word0, c.lblDI_0);
        EXPECT_EQ(captions.header, kHeader);
        EXPECT_EQ(captions.word1, c.lblDI_1);
    }
    EXPECT_EQ(dll.diBuffer[5], 0x66) << "the driver's words stay in the buffer";
    // Words the driver leaves keep their last values.
    fake.setInputWords({0x99});
    EXPECT_EQ(rules::readInputs(dll).words, "99-8000-1-FFFE");
}

struct ChannelCase {
    const char* typed;
    int channel;
};

// Rounded ties to even, then held to 1..128 before any narrowing.
TEST(ChannelFromText, IsAlwaysOneTo128) {
    const std::vector<ChannelCase> cases = {
        {"5", 5},      {" 5", 5},     {"128", 128}, {"0", 1},          {"-3", 1},
        {"abc", 1},    {"", 1},       {"200", 128}, {"99999", 128},    {"1e10", 128},
        {"-40000", 1}, {"2.5", 2},    {"3.5", 4},   {"0.5", 1},        {"1.5", 2},
        {"&H10", 16},  {"&HFFFF", 1}, {"1 2", 12},  {"1e999999", 128}, {"-1e999999", 1},
        {"通道", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rules::channelFromText(c.typed), c.channel) << c.typed;
}

TEST(BitValueFromText, IsZeroOnlyForANumberRoundingToZero) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"0", 0},   {"", 0},    {"x1", 0},     {"0.5", 0},      {"-0.5", 0},
        {"1", 1},   {"5", 1},   {"-1", 1},     {"40000", 1},    {"1e10", 1},
        {"0.6", 1}, {"1.5", 1}, {"&HFFFF", 1}, {"1e999999", 1},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(rules::bitValueFromText(text), value) << text;
}

TEST(ToggledBitText, IsOneOnlyForAZero) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"0", " 1"},        {" 1", " 0"}, {"7", " 0"},   {"x1", " 1"},
        {"1e999999", " 0"}, {"", " 1"},   {"0.4", " 0"},
    };
    for (const auto& [before, after] : cases)
        EXPECT_EQ(rules::toggledBitText(before), after) << before;
}

TEST(ByteFromHexText, IsTheLowByteOfTheHexadecimalText) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"00", 0},
        {"FF", 255},
        {"1A5", 165},
        {"FFFF", 255},
        {"", 0},
        {"zz", 0},
        {"12G4", 18},
        {"ff", 255},
        {"7FFFFFFF", 255},
        {"80000000", 0},
        {"FFFFFF80", 128},
        {" f f ", 255},
        // More than eight digits: the low 32 bits, so the last two digits read.
        {"123456789AB", 0xAB},
        {"FFFFFFFFFFFFFFFFFFFF01", 1},
        {"123456789ABxyz", 0xAB},
        {"-1", 0},
        {"&HFF", 0},
    };
    for (const auto& [hex, byte] : cases)
        EXPECT_EQ(rules::byteFromHexText(hex), byte) << hex;
}

TEST(GroupFromText, IsAnyIntegerAndNothingElse) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"0", 0},           {"1", 1},           {"1.5", 2},
        {"2.5", 2},         {"15", 15},         {"-1", -1},
        {"32767", 32767},   {"-32768", -32768}, {"-32768.5", -32768},
        {"32766.5", 32766}, {"&HFFFF", -1},     {"abc", 0},
    };
    for (const auto& [group, expected] : cases)
        EXPECT_EQ(rules::groupFromText(group), expected) << group;
    for (const char* group : {"32768", "-32769", "32767.5", "1e10", "-1e999999", "&H10000"})
        EXPECT_EQ(rules::groupFromText(group), std::nullopt) << group;
}

TEST(GroupRefusedMessage, QuotesAtMostFortyCharacters) {
    EXPECT_EQ(rules::groupRefusedMessage("32768"),
              "通道组“32768”超出范围（-32768 到 32767），未输出。");
    const std::string digits(41, '9');
    EXPECT_EQ(rules::groupRefusedMessage(digits),
              "通道组“" + digits.substr(0, 40) + "…”超出范围（-32768 到 32767），未输出。");
    std::string chinese, fortyChinese;
    for (int i = 0; i < 41; ++i)
        (i < 40 ? fortyChinese : chinese) += "九";
    EXPECT_EQ(rules::groupRefusedMessage(fortyChinese),
              "通道组“" + fortyChinese + "”超出范围（-32768 到 32767），未输出。");
    EXPECT_EQ(rules::groupRefusedMessage(fortyChinese + chinese),
              "通道组“" + fortyChinese + "…”超出范围（-32768 到 32767），未输出。")
        << "cut between characters, never inside one";
}

} // namespace
