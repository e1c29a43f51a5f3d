#pragma once
// The few socket calls one request makes, each bounded by the request's
// deadline, the way each system wants them (platform code).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace modbuscard {

using Clock = std::chrono::steady_clock;

enum class Io { Done, TimedOut, Failed };

// Sends all the bytes before the deadline.
Io sendAll(int socket, const std::vector<std::uint8_t>& bytes, Clock::time_point deadline);
// Receives exactly `size` more bytes onto `into` before the deadline (Failed:
// the peer closed, or an error).
Io receive(int socket, std::size_t size, std::vector<std::uint8_t>& into,
           Clock::time_point deadline);

} // namespace modbuscard
