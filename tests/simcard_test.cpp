#include "driver/dlldef.h"
#include "fake_card.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

// The simulated card keeps its lines while loaded, so every test gets the
// binding afresh and first drives all lines back to 0.
class SimulatedCard : public testing::Test {
protected:
    void SetUp() override {
        for (std::int16_t group = 0; group < 16; ++group)
            dll.Zan_DO(group, 0);
    }
    std::array<std::int16_t, 33> read(std::int16_t count = 16) {
        std::array<std::int16_t, 33> words;
        words.fill(-7);
        dll.Zan_DI(count, words.data());
        return words;
    }

    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(FakeCard::simcardFolder())};
};

TEST_F(SimulatedCard, IdentifiesItselfToTheBoardInfoRequestOnly) {
    auto& request = dll.boardInfoRequest;
    auto& reply = dll.boardInfoReply;
    request[0] = 70;
    request[1] = 64;
    EXPECT_EQ(dll.IOCtl(100, request.data(), 100, reply.data()), 0);
    EXPECT_EQ(reply[0], 51);
    EXPECT_EQ(reply[1], 8);
    EXPECT_EQ(reply[4], 1);
    EXPECT_EQ(reply[2], 0);
    EXPECT_EQ(reply[3], 0);

    std::array<std::uint8_t, 8> other{70, 65, 0};
    std::array<std::uint8_t, 8> untouched{9, 9, 9, 9, 9, 9, 9, 9};
    dll.IOCtl(100, other.data(), 100, untouched.data());
    EXPECT_EQ(untouched, (std::array<std::uint8_t, 8>{9, 9, 9, 9, 9, 9, 9, 9}));
    EXPECT_NE(dll.IOCtl(100, nullptr, 100, nullptr), 0);
}

TEST_F(SimulatedCard, ReadsBackBytesAndBitsInLoopback) {
    dll.Zan_DO(0, 0xFF);
    dll.Zan_DO(15, 0x1A5); // only the low byte counts
    dll.Zan_DOBit(8, 1);   // channel 9: group 1, bit 0
    dll.Zan_DOBit(127, 5); // any value but 0 sets the line
    auto words = read();
    EXPECT_EQ(words[0], 0xFF);
    EXPECT_EQ(words[1], 1);
    EXPECT_EQ(words[15], 0xA5 | 0x80);
    EXPECT_EQ(words[16], -7) << "only sixteen words exist";

    dll.Zan_DOBit(0, 0);
    dll.Zan_DOBit(7, 0);
    EXPECT_EQ(read()[0], 0x7E);
}

TEST_F(SimulatedCard, IgnoresWhatLiesOutsideItsLines) {
    dll.Zan_DOBit(-1, 1);
    dll.Zan_DOBit(128, 1);
    dll.Zan_DOBit(-32768, 1);
    dll.Zan_DO(16, 0xFF);
    dll.Zan_DO(-1, 0xFF);
    auto words = read();
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(words[k], 0) << k;
}

TEST_F(SimulatedCard, WritesOnlyTheWordsAskedFor) {
    dll.Zan_DO(0, 3);
    dll.Zan_DO(4, 4);
    auto four = read(4);
    EXPECT_EQ(four[0], 3);
    EXPECT_EQ(four[3], 0);
    EXPECT_EQ(four[4], -7);
    EXPECT_EQ(read(0)[0], -7);
    EXPECT_EQ(read(-5)[0], -7);
    EXPECT_EQ(read(32767)[4], 4);
    EXPECT_EQ(dll.Zan_DI(4, nullptr), 0);
}

} // namespace
