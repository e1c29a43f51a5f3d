#include "socket_io.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace modbuscard {

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

long sendSome(int socket, const std::uint8_t* bytes, std::size_t size) {
    const ssize_t sent = send(socket, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    return sent >= 0 ? sent : errno == EAGAIN || errno == EINTR ? 0 : -1;
}

long receiveSome(int socket, std::uint8_t* into, std::size_t size) {
    const ssize_t got = recv(socket, into, size, MSG_DONTWAIT);
    return got > 0 ? got : got < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

} // namespace modbuscard
