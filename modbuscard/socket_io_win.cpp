#include "socket_io.h"

#include <winsock2.h>

namespace modbuscard {

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

long sendSome(int socket, const std::uint8_t* bytes, std::size_t size) {
    const int sent = send(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(bytes),
                          static_cast<int>(size), 0);
    return sent != SOCKET_ERROR ? sent : WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

long receiveSome(int socket, std::uint8_t* into, std::size_t size) {
    const int got =
        recv(static_cast<SOCKET>(socket), reinterpret_cast<char*>(into), static_cast<int>(size), 0);
    return got > 0 ? got : got == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

} // namespace modbuscard
