#include "transaction.h"

#include <modbus/modbus.h>

#include <algorithm>

namespace modbuscard {
namespace {

using mbap::kHeader;

int word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return mbap::wordAt(bytes.data() + at);
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

long missing(const std::vector<std::uint8_t>& received) {
    if (received.size() < kHeader)
        return static_cast<long>(kHeader - received.size());
    const std::optional<std::size_t> whole = mbap::frameSize(received.data());
    if (!whole)
        return -1;
    return received.size() >= *whole ? 0 : static_cast<long>(*whole - received.size());
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
    if (pdu[0] == (request.pdu[0] | mbap::kExceptionBit) && pdu.size() == 2) {
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
