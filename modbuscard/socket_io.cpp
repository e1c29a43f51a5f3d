#include "socket_io.h"

#include <algorithm>

namespace modbuscard {

Io sendAll(int socket, const std::vector<std::uint8_t>& bytes, Clock::time_point deadline) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const Io waited = ready(socket, true, deadline);
        if (waited != Io::Done)
            return waited;
        const long now = sendSome(socket, bytes.data() + sent, bytes.size() - sent);
        if (now < 0)
            return Io::Failed;
        sent += static_cast<std::size_t>(now);
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
        const long got = receiveSome(socket, buffer, std::min(size, sizeof buffer));
        if (got < 0)
            return Io::Failed;
        into.insert(into.end(), buffer, buffer + got);
        size -= static_cast<std::size_t>(got);
    }
    return Io::Done;
}

} // namespace modbuscard
