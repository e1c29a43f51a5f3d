// The card as a Modbus device, request by request, on a card that fails when
// told to: the exception the protocol orders first, and what reached the card
// before a failure, for the log.
#include "cli/serve/modbus_map.h"
#include "core/card/card.h"

#include <gtest/gtest.h>

namespace {

using namespace cli::serve;

// A card whose write number `failAt` (from 1) fails; counts what it is sent.
class FailingCard : public CardPort {
public:
    explicit FailingCard(int failAt) : failAt_(failAt) {}
    std::vector<std::int16_t> readWords(int count) override {
        return std::vector<std::int16_t>(static_cast<std::size_t>(count), 0);
    }
    void writeBit(int, int) override { count(); }
    void writeByte(int, int) override { count(); }
    std::string boardCaption() override { return "卡名：ZAN 51 8类型： 1"; }
    int writes = 0;

private:
    void count() {
        if (++writes == failAt_)
            throw cli::DriverCallFailed("Zan_DO 返回 -1");
    }
    int failAt_;
};

struct Row {
    const char* what;
    std::vector<std::uint8_t> request;
    int failAt;
    std::vector<std::uint8_t> answered; // the response's first bytes
    const char* wrote;
};

TEST(ServeMap, ExceptionsInTheProtocolsOrderAndWhatReachedTheCard) {
    const Row rows[] = {
        {"coil on", {5, 0, 3, 0xFF, 0}, 0, {5, 0, 3, 0xFF, 0}, "写线圈 通道4=1"},
        {"a coil value of 1, at an address in range", {5, 0, 3, 0, 1}, 0, {0x85, 3}, ""},
        {"a coil value of 1, at an address out of range", {5, 0, 200, 0, 1}, 0, {0x85, 3}, ""},
        {"a coil out of range", {5, 0, 128, 0xFF, 0}, 0, {0x85, 2}, ""},
        {"no coils, out of range", {15, 1, 0, 0, 0, 0}, 0, {0x8F, 3}, ""},
        {"a byte count that lies, out of range", {15, 1, 0, 0, 8, 2, 0xFF, 0}, 0, {0x8F, 3}, ""},
        {"eight coils out of range", {15, 0, 125, 0, 8, 1, 0xFF}, 0, {0x8F, 2}, ""},
        {"too many registers", {16, 0, 0, 0, 124, 248}, 0, {0x90, 3}, ""},
        {"a register count that lies, out of range", {16, 0, 20, 0, 1, 1, 0}, 0, {0x90, 3}, ""},
        {"two registers out of range", {16, 0, 15, 0, 2, 4, 0, 1, 0, 2}, 0, {0x90, 2}, ""},
        {"a register too big", {6, 0, 1, 1, 0}, 0, {0x86, 3}, ""},
        {"a register out of range", {6, 0, 16, 0, 1}, 0, {0x86, 2}, ""},
        {"a function not served", {7}, 0, {0x87, 1}, ""},
        {"two groups, the second failing",
         {15, 0, 0, 0, 16, 2, 0xFF, 0x0F},
         2,
         {0x8F, 4},
         "写线圈 组0=255（其后失败）"},
        {"a line and a group, the group failing",
         {15, 0, 7, 0, 9, 2, 0xFF, 0x01},
         2,
         {0x8F, 4},
         "写线圈 通道8=1（其后失败）"},
        {"registers failing at the first", {16, 0, 2, 0, 2, 4, 0, 1, 0, 2}, 1, {0x90, 4}, ""},
        {"registers failing at the second",
         {16, 0, 2, 0, 2, 4, 0, 1, 0, 2},
         2,
         {0x90, 4},
         "写保持寄存器 组2=1（其后失败）"},
    };
    for (const Row& row : rows) {
        FailingCard card(row.failAt);
        Written written;
        const Answer answer = cli::serve::answer(row.request, 1, card, written, false);
        const std::vector<std::uint8_t> head(answer.pdu.begin(),
                                             answer.pdu.begin() +
                                                 std::min(answer.pdu.size(), row.answered.size()));
        EXPECT_EQ(head, row.answered) << row.what;
        EXPECT_EQ(answer.wrote, row.wrote) << row.what;
        EXPECT_EQ(answer.failed.empty(), row.failAt == 0) << row.what;
        if ((row.answered[0] & 0x80) != 0 && row.failAt == 0) {
            EXPECT_EQ(card.writes, 0) << row.what << ": a refused request reached the card";
        }
    }
}

TEST(ServeMap, ReadOnlyRefusesEveryWriteAndSendsNothing) {
    for (const std::vector<std::uint8_t>& request : {std::vector<std::uint8_t>{5, 0, 0, 0xFF, 0},
                                                     {6, 0, 0, 0, 1},
                                                     {15, 0, 0, 0, 1, 1, 1},
                                                     {16, 0, 0, 0, 1, 2, 0, 1}}) {
        FailingCard card(0);
        Written written;
        EXPECT_EQ(cli::serve::answer(request, 1, card, written, true).pdu,
                  (std::vector<std::uint8_t>{static_cast<std::uint8_t>(request[0] | 0x80), 1}));
        EXPECT_EQ(card.writes, 0);
    }
}

} // namespace
