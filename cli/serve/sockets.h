#pragma once
// The few socket calls the server makes, the way each system wants them
// (platform code).

#include <cstdint>
#include <string>
#include <vector>

namespace cli::serve {

#if defined(_WIN32)
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif

// A connection: its socket, and the client's address as "host:port".
struct Accepted {
    Socket socket;
    std::string peer;
};

// The sockets among `watched` that have something to read (or were closed),
// waiting at most `milliseconds`.
std::vector<Socket> readable(const std::vector<Socket>& watched, int milliseconds);
// A new connection on a listening socket, made non-blocking, not inherited by
// programs started later, each answer sent at once; false, and the system's
// reason in `error`, where the accept failed (out of descriptors, a client
// gone before it was taken).
bool accept(Socket listening, Accepted& accepted, std::string& error);
// Bytes received: > 0, 0 when the peer closed, < 0 on an error.
long receive(Socket socket, std::uint8_t* buffer, std::size_t size);
// Sends it all, or says it could not (the client reads nothing, or is gone).
bool sendAll(Socket socket, const std::vector<std::uint8_t>& bytes);
void closeSocket(Socket socket);
// The address a listening socket is bound to, as "host:port".
std::string boundAddress(Socket socket);

} // namespace cli::serve
