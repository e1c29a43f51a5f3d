#pragma once
// Modbus TCP's framing (the MBAP header), read from what a client sent so
// far: whole requests out, never a wait for the rest of one, so that a client
// that sends half a frame holds up no one.

#include "modbuscard/mbap.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace cli::serve {

using Request = mbap::Adu;

class Frames {
public:
    void add(const std::uint8_t* bytes, std::size_t size);
    // The next whole request, if one is in.
    std::optional<Request> next();
    // A header no Modbus TCP client sends (another protocol, a length out of
    // range): the connection is to be dropped.
    bool broken() const { return broken_; }

private:
    std::vector<std::uint8_t> buffer_;
    bool broken_ = false;
};

// The frame that carries a response PDU back.
std::vector<std::uint8_t> frame(const Request& request, const std::vector<std::uint8_t>& pdu);

} // namespace cli::serve
