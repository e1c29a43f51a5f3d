#pragma once
// Modbus TCP's framing, the MBAP header before each PDU, as both ends of this
// project write and read it (the driver as a client, dio-cli serve as a
// server). The protocol's own numbers are libmodbus's names.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace mbap {

// Transaction, protocol, length: two bytes each; then the unit.
constexpr std::size_t kHeader = 7;
// An exception answer's function code: the request's with this bit set.
constexpr std::uint8_t kExceptionBit = 0x80;

struct Adu {
    std::uint16_t transaction;
    std::uint8_t unit;
    std::vector<std::uint8_t> pdu; // the function code first
};

// The frame that carries the PDU: the header, then the PDU.
std::vector<std::uint8_t> frame(const Adu& adu);

inline int wordAt(const std::uint8_t* bytes) {
    return bytes[0] << 8 | bytes[1];
}
// The whole frame's size from its header (kHeader bytes), or none where the
// header's length is no Modbus TCP length (it counts the unit and a PDU of 1
// to MODBUS_MAX_PDU_LENGTH bytes).
std::optional<std::size_t> frameSize(const std::uint8_t* header);

} // namespace mbap
