// The Modbus driver's answers checked as the request's own before anything in
// them is believed: a reply to another request, unit or protocol, or a write
// echoed otherwise, is a failure named as such.
#include "modbuscard/transaction.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

// An answer frame: transaction 7, protocol 0, unit 3 unless told otherwise.
Bytes answer(const Bytes& pdu, int transaction = 7, int protocol = 0, int unit = 3) {
    const std::size_t length = pdu.size() + 1;
    Bytes bytes{static_cast<std::uint8_t>(transaction >> 8),
                static_cast<std::uint8_t>(transaction),
                static_cast<std::uint8_t>(protocol >> 8),
                static_cast<std::uint8_t>(protocol),
                static_cast<std::uint8_t>(length >> 8),
                static_cast<std::uint8_t>(length),
                static_cast<std::uint8_t>(unit)};
    for (const std::uint8_t byte : pdu) // not insert(): GCC 12 warns of it falsely here
        bytes.push_back(byte);
    return bytes;
}

struct Row {
    const char* what;
    Bytes request;  // the PDU asked, of transaction 7 to unit 3
    Bytes received; // the whole answer
    const char* problem;
    int exception;
};

TEST(ModbusTransaction, AnswersAreTheRequestsOwnOrNamedAsNot) {
    const Bytes coilOn{5, 0, 6, 0xFF, 0}, eightCoils{15, 0, 8, 0, 8, 1, 0x3C};
    const Row rows[] = {
        {"a coil's echo", coilOn, answer(coilOn), "", 0},
        {"a coil echoed off", coilOn, answer({5, 0, 6, 0, 0}), "功能 5 的回答不是请求的回显", 0},
        {"another coil echoed", coilOn, answer({5, 0, 0, 0xFF, 0}), "功能 5 的回答不是请求的回显",
         0},
        {"a register echoed otherwise",
         {6, 0, 1, 0, 0x3C},
         answer({6, 0, 1, 0, 0x3D}),
         "功能 6 的回答不是请求的回显",
         0},
        {"eight coils", eightCoils, answer({15, 0, 8, 0, 8}), "", 0},
        {"eight coils at another address", eightCoils, answer({15, 0, 0, 0, 8}),
         "功能 15 的回答的地址或数量与请求的不同", 0},
        {"seven coils", eightCoils, answer({15, 0, 8, 0, 7}), "功能 15 的回答的地址或数量", 0},
        {"another transaction", coilOn, answer(coilOn, 8), "回答的事务号是 8，请求的是 7", 0},
        {"another protocol", coilOn, answer(coilOn, 7, 1), "回答的协议号是 1", 0},
        {"another unit", coilOn, answer(coilOn, 7, 0, 4), "回答的单元号是 4，请求的是 3", 0},
        {"inputs", {2, 0, 0, 0, 16}, answer({2, 2, 0x01, 0x80}), "", 0},
        {"too few inputs", {2, 0, 0, 0, 16}, answer({2, 1, 0x01}), "功能 2 的回答长度不对", 0},
        {"a byte count that lies",
         {2, 0, 0, 0, 16},
         answer({2, 3, 0x01, 0x80}),
         "功能 2 的回答长度不对",
         0},
        {"an exception", coilOn, answer({0x85, 2}), "", 2},
        {"another function's exception", coilOn, answer({0x86, 2}), "回答的功能码是 134", 0},
        {"another function", coilOn, answer({6, 0, 6, 0xFF, 0}), "回答的功能码是 6，请求的是 5", 0},
        {"input registers", {4, 0, 0, 0, 2}, answer({4, 4, 0, 1, 0, 2}), "", 0},
        {"one register short", {4, 0, 0, 0, 2}, answer({4, 2, 0, 1}), "功能 4 的回答长度不对", 0},
        {"a caption", {17}, answer({17, 3, 1, 0xFF, 'x'}), "", 0},
        {"an empty caption", {17}, answer({17, 0}), "", 0},
        {"a caption that lies", {17}, answer({17, 9, 1, 0xFF, 'x'}), "功能 17 的回答长度不对", 0},
    };
    for (const Row& row : rows) {
        const modbuscard::Answer got = modbuscard::check({7, 3, row.request}, row.received);
        EXPECT_EQ(*row.problem ? got.problem.substr(0, std::string(row.problem).size())
                               : got.problem,
                  row.problem)
            << row.what;
        EXPECT_EQ(got.exception, row.exception) << row.what;
        EXPECT_EQ(got.pdu.empty(), !got.problem.empty() || got.exception != 0) << row.what;
    }
}

TEST(ModbusTransaction, FramesAndWhatIsStillToCome) {
    const Bytes sent = modbuscard::frame({0x1234, 9, {5, 0, 6, 0xFF, 0}});
    EXPECT_EQ(sent, (Bytes{0x12, 0x34, 0, 0, 0, 6, 9, 5, 0, 6, 0xFF, 0}));
    EXPECT_EQ(modbuscard::missing({}), 7);
    EXPECT_EQ(modbuscard::missing({0x12, 0x34, 0}), 4);
    EXPECT_EQ(modbuscard::missing({0x12, 0x34, 0, 0, 0, 6, 9}), 5);
    EXPECT_EQ(modbuscard::missing(sent), 0);
    EXPECT_EQ(modbuscard::missing({0, 1, 0, 0, 0, 1, 9}), -1);    // no PDU
    EXPECT_EQ(modbuscard::missing({0, 1, 0, 0, 0x01, 0, 9}), -1); // past the longest
}

} // namespace
