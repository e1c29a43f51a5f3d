#pragma once
// The card as a Modbus device: what each request (its PDU, the function code
// first) does to the card and what it is answered. Protocol addresses are
// 0-based:
//   discrete inputs (2)       8k + b: bit b of input word k (input line 8k + b + 1)
//   input registers (4)       k: input word k, as Zan_DI returns it
//   coils (1, 5, 15)          c - 1: output channel c; read back as last written here
//   holding registers (3, 6, 16)  g: output group g's last byte (0 to 255)
//   report server ID (17)     the board's caption, UTF-8
// Anything outside the map is exception 2, an unsupported function 1, a value
// out of range 3, a driver call that fails 4, a write while a self-test holds
// the card 6 (said by the server); a refused request sends nothing.

#include "driver/card_shape.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace cli::serve {

// What the map asks of the card. Each call may throw DriverCallFailed.
class CardPort {
public:
    virtual ~CardPort() = default;
    virtual std::vector<std::int16_t> readWords(int count) = 0;
    virtual void writeBit(int channel, int value) = 0;
    virtual void writeByte(int group, int byte) = 0;
    virtual std::string boardCaption() = 0;
};

// What was last written through the server: the card's outputs cannot be read.
struct Written {
    std::array<bool, card::kChannels> coils{};
    std::array<int, card::kGroups> groups{};
};

struct Answer {
    std::vector<std::uint8_t> pdu; // the response, an exception's included
    std::string wrote;             // what a write sent to the card, for the log; or ""
    std::string failed;            // why a driver call failed, for the log; or ""
};

// Whether the function writes the card (5, 6, 15, 16).
bool writes(std::uint8_t function);
// The exception answer with that code (libmodbus's MODBUS_EXCEPTION_...).
std::vector<std::uint8_t> exception(std::uint8_t function, std::uint8_t code);

// One request on the card. `unit` is the request's unit id (returned by
// function 17); with `readOnly`, every write is answered with exception 1.
Answer answer(const std::vector<std::uint8_t>& request, std::uint8_t unit, CardPort& card,
              Written& written, bool readOnly);

} // namespace cli::serve
