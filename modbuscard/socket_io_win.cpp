#include "socket_io.h"

#include <winsock2.h>

#include <algorithm>

namespace modbuscard {
namespace {

// Waits for the socket to be ready (for reading, or writing), at most until
// the deadline.
Io ready(int socket, bool writing, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return Io::TimedOut;
    WSAPOLLFD polled{static_cast<SOCKET>(socket),
                     static_cast<SHORT>(writing ? POLLWRNORM : POLLRDNORM), 0};
    const int result = WSAPoll(&polled, 1, static_cast<INT>(left));
    return result > 0 ? Io::Done : result == 0 ? Io::TimedOut : Io::Failed;
}

} // namespace

Io sendAll(int socket, const std::vector<std::uint8_t>& bytes, Clock::time_point deadline) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const Io waited = ready(socket, true, deadline);
        if (waited != Io::Done)
            return waited;
        const int now =
            send(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(bytes.data() + sent),
                 static_cast<int>(bytes.size() - sent), 0);
        if (now == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK)
            return Io::Failed;
        sent += now > 0 ? static_cast<std::size_t>(now) : 0;
    }
    return Io::Done;
}

Io receive(int socket, std::size_t size, std::vector<std::uint8_t>& into,
           Clock::time_point deadline) {
    char buffer[512];
    while (size > 0) {
        const Io waited = ready(socket, false, deadline);
        if (waited != Io::Done)
            return waited;
        const int got = recv(static_cast<SOCKET>(socket), buffer,
                             static_cast<int>(std::min(size, sizeof buffer)), 0);
        if (got == 0 || (got == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK))
            return Io::Failed;
        if (got > 0) {
            into.insert(into.end(), buffer, buffer + got);
            size -= static_cast<std::size_t>(got);
        }
    }
    return Io::Done;
}

} // namespace modbuscard
