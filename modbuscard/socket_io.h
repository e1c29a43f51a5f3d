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

// Platform code: waits for the socket to be ready (for reading, or writing),
// at most until the deadline; sends or receives what goes without waiting
// (the bytes, maybe 0; -1 on an error, or for a receive when the peer closed).
Io ready(int socket, bool writing, Clock::time_point deadline);
long sendSome(int socket, const std::uint8_t* bytes, std::size_t size);
long receiveSome(int socket, std::uint8_t* into, std::size_t size);

// Sends all the bytes before the deadline.
Io sendAll(int socket, const std::vector<std::uint8_t>& bytes, Clock::time_point deadline);
// Receives exactly `size` more bytes onto `into` before the deadline (Failed:
// the peer closed, or an error).
Io receive(int socket, std::size_t size, std::vector<std::uint8_t>& into,
           Clock::time_point deadline);

} // namespace modbuscard
