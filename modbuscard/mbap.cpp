#include "mbap.h"

#include <modbus/modbus.h>

#include <algorithm>

namespace mbap {

std::vector<std::uint8_t> frame(const Adu& adu) {
    const std::size_t length = adu.pdu.size() + 1;
    std::vector<std::uint8_t> bytes(kHeader - 1 + length);
    bytes[0] = static_cast<std::uint8_t>(adu.transaction >> 8);
    bytes[1] = static_cast<std::uint8_t>(adu.transaction);
    bytes[4] = static_cast<std::uint8_t>(length >> 8);
    bytes[5] = static_cast<std::uint8_t>(length);
    bytes[6] = adu.unit;
    std::copy(adu.pdu.begin(), adu.pdu.end(), bytes.begin() + kHeader);
    return bytes;
}

std::optional<std::size_t> frameSize(const std::uint8_t* header) {
    const auto length = static_cast<std::size_t>(wordAt(header + 4));
    if (length < 2 || length > MODBUS_MAX_PDU_LENGTH + 1)
        return std::nullopt;
    return kHeader - 1 + length;
}

} // namespace mbap
