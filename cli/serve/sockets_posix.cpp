#include "sockets.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cli::serve {
namespace {

std::string named(const sockaddr_in& address) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace

std::vector<Socket> readable(const std::vector<Socket>& watched, int milliseconds) {
    std::vector<pollfd> polled;
    for (const Socket socket : watched)
        polled.push_back({socket, POLLIN, 0});
    std::vector<Socket> ready;
    if (poll(polled.data(), polled.size(), milliseconds) > 0)
        for (const pollfd& p : polled)
            if (p.revents != 0)
                ready.push_back(p.fd);
    return ready;
}

bool accept(Socket listening, Accepted& accepted, std::string& error) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    const int socket = ::accept(listening, reinterpret_cast<sockaddr*>(&address), &size);
    if (socket < 0) {
        error = std::strerror(errno);
        return false;
    }
    fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
    fcntl(socket, F_SETFD, FD_CLOEXEC);
    // Each answer goes at once, not held back to be sent with the next.
    const int on = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    accepted = {socket, named(address)};
    return true;
}

long receive(Socket socket, std::uint8_t* buffer, std::size_t size) {
    return recv(socket, buffer, size, 0);
}

bool sendAll(Socket socket, const std::vector<std::uint8_t>& bytes) {
    // A client that reads nothing fills its window: it is dropped rather
    // than waited for. No SIGPIPE for one that has gone.
    return send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

void closeSocket(Socket socket) {
    close(socket);
}

std::string boundAddress(Socket socket) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    return named(address);
}

} // namespace cli::serve
