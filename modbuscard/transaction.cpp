#include "transaction.h"

#include <modbus/modbus.h>

#include <algorithm>

namespace modbuscard {
namespace {

constexpr std::size_t kHeader = 7; // transaction, protocol, length: 2 bytes each; unit

int word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] << 8 | bytes[at + 1];
}

// Why a normal answer's PDU does not fit the request's function, or "".
std::string misfit(const std::vector<std::uint8_t>& asked, const std::vector<std::uint8_t>& got) {
    const int function = asked[0];
    const std::string named = "功能 " + std::to_string(function) + " 的回答";
    switch (function) {
    case MODBUS_FC_READ_COILS:
    case MODBUS_FC_READ_DISCRETE_INPUTS:
    case MODBUS_FC_READ_HOLDING_REGISTERS:
    case MODBUS_FC_READ_INPUT_REGISTERS: {
        const int count = word(asked, 3);
        const std::size_t bytes = function <= MODBUS_FC_READ_DISCRETE_INPUTS
                                      ? static_cast<std::size_t>((count + 7) / 8)
                                      : static_cast<std::size_t>(2 * count);
        return got.size() == 2 + bytes && got[1] == bytes ? "" : named + "长度不对";
    }
    case MODBUS_FC_WRITE_SINGLE_COIL:
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
        // The echo of the request, address and value alike.
        return got == asked ? "" : named + "不是请求的回显（写的地址或值不同）";
    case MODBUS_FC_WRITE_MULTIPLE_COILS:
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        return got.size() == 5 && std::equal(got.begin(), got.end(), asked.begin())
                   ? ""
                   : named + "的地址或数量与请求的不同";
    case MODBUS_FC_REPORT_SLAVE_ID:
        return got.size() >= 2 && got[1] == got.size() - 2 ? "" : named + "长度不对";
    default:
        return named + "看不懂";
    }
}

} // namespace

std::vector<std::uint8_t> frame(const Request& request) {
    const std::size_t length = request.pdu.size() + 1;
    std::vector<std::uint8_t> bytes(kHeader - 1 + length);
    bytes[0] = static_cast<std::uint8_t>(request.transaction >> 8);
    bytes[1] = static_cast<std::uint8_t>(request.transaction);
    bytes[4] = static_cast<std::uint8_t>(length >> 8);
    bytes[5] = static_cast<std::uint8_t>(length);
    bytes[6] = request.unit;
    std::copy(request.pdu.begin(), request.pdu.end(), bytes.begin() + kHeader);
    return bytes;
}

long missing(const std::vector<std::uint8_t>& received) {
    if (received.size() < kHeader)
        return static_cast<long>(kHeader - received.size());
    const std::size_t length = static_cast<std::size_t>(word(received, 4));
    // The length counts the unit and the PDU.
    if (length < 2 || length > MODBUS_MAX_PDU_LENGTH + 1)
        return -1;
    const std::size_t whole = kHeader - 1 + length;
    return received.size() >= whole ? 0 : static_cast<long>(whole - received.size());
}

Answer check(const Request& request, const std::vector<std::uint8_t>& received) {
    Answer answer;
    if (missing(received) != 0) {
        answer.problem = "回答不完整";
        return answer;
    }
    if (word(received, 0) != request.transaction) {
        answer.problem = "回答的事务号是 " + std::to_string(word(received, 0)) + "，请求的是 " +
                         std::to_string(request.transaction);
        return answer;
    }
    if (word(received, 2) != 0) {
        answer.problem =
            "回答的协议号是 " + std::to_string(word(received, 2)) + "，不是 Modbus 的 0";
        return answer;
    }
    if (received[6] != request.unit) {
        answer.problem = "回答的单元号是 " + std::to_string(received[6]) + "，请求的是 " +
                         std::to_string(request.unit);
        return answer;
    }
    const std::vector<std::uint8_t> pdu(received.begin() + kHeader, received.end());
    if (pdu[0] == (request.pdu[0] | 0x80) && pdu.size() == 2) {
        answer.exception = pdu[1];
        return answer;
    }
    if (pdu[0] != request.pdu[0]) {
        answer.problem = "回答的功能码是 " + std::to_string(pdu[0]) + "，请求的是 " +
                         std::to_string(request.pdu[0]);
        return answer;
    }
    answer.problem = misfit(request.pdu, pdu);
    if (answer.problem.empty())
        answer.pdu = pdu;
    return answer;
}

} // namespace modbuscard
