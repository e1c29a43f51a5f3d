#pragma once
// One Modbus TCP request and its answer, as bytes: the frame to send, how
// much of the answer is still to come, and the answer checked as this
// request's own (its transaction, protocol, unit, function and, for a write,
// the echo of what was written) before anything in it is believed. No I/O.

#include "modbuscard/mbap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace modbuscard {

using Request = mbap::Adu;
using mbap::frame;

// How many more bytes the answer needs, from the bytes received so far: the
// header's seven first, then what its length says; -1 where the header is no
// Modbus TCP header (a length out of range).
long missing(const std::vector<std::uint8_t>& received);

struct Answer {
    std::vector<std::uint8_t> pdu; // the answer's PDU, where it is the request's
    int exception = 0;             // the module's exception code, where it sent one
    std::string problem;           // why the answer is not this request's, or ""
};

// The whole answer, checked against the request.
Answer check(const Request& request, const std::vector<std::uint8_t>& received);

} // namespace modbuscard
