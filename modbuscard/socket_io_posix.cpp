#include "socket_io.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace modbuscard {
namespace {

// Waits for the socket to be ready (for reading, or writing), at most until
// the deadline.
Io ready(int socket, bool writing, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Io::TimedOut;
        pollfd polled{socket, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
        const int result = poll(&polled, 1, static_cast<int>(left));
        if (result > 0)
            return Io::Done;
        if (result < 0 && errno != EINTR)
            return Io::Failed;
    }
}

} // namespace

Io sendAll(int socket, const std::vector<std::uint8_t>& bytes, Clock::time_point deadline) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const Io waited = ready(socket, true, deadline);
        if (waited != Io::Done)
            return waited;
        const ssize_t now =
            send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (now < 0 && errno != EAGAIN && errno != EINTR)
            return Io::Failed;
        sent += now > 0 ? static_cast<std::size_t>(now) : 0;
    }
    return Io::Done;
}

Io receive(int socket, std::size_t size, std::vector<std::uint8_t>& into,
           Clock::time_point deadline) {
    std::uint8_t buffer[512];
    while (size > 0) {
        const Io waited = ready(socket, false, deadline);
        if (waited != Io::Done)
            return waited;
        const ssize_t got = recv(socket, buffer, std::min(size, sizeof buffer), MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            return Io::Failed;
        if (got > 0) {
            into.insert(into.end(), buffer, buffer + got);
            size -= static_cast<std::size_t>(got);
        }
    }
    return Io::Done;
}

} // namespace modbuscard
