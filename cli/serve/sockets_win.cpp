#include "sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace cli::serve {
namespace {

std::string named(const sockaddr_in& address) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

} // namespace

std::vector<Socket> readable(const std::vector<Socket>& watched, int milliseconds) {
    std::vector<WSAPOLLFD> polled;
    for (const Socket socket : watched)
        polled.push_back({static_cast<SOCKET>(socket), POLLRDNORM, 0});
    std::vector<Socket> ready;
    if (WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), milliseconds) > 0)
        for (const WSAPOLLFD& p : polled)
            if (p.revents != 0)
                ready.push_back(p.fd);
    return ready;
}

bool accept(Socket listening, Accepted& accepted, std::string& error) {
    sockaddr_in address{};
    int size = sizeof address;
    const SOCKET socket =
        ::accept(static_cast<SOCKET>(listening), reinterpret_cast<sockaddr*>(&address), &size);
    if (socket == INVALID_SOCKET) {
        error = "WSA 错误 " + std::to_string(WSAGetLastError());
        return false;
    }
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    // Each answer goes at once, not held back to be sent with the next.
    const BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    accepted = {socket, named(address)};
    return true;
}

long receive(Socket socket, std::uint8_t* buffer, std::size_t size) {
    return recv(static_cast<SOCKET>(socket), reinterpret_cast<char*>(buffer),
                static_cast<int>(size), 0);
}

bool sendAll(Socket socket, const std::vector<std::uint8_t>& bytes) {
    return send(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(bytes.data()),
                static_cast<int>(bytes.size()), 0) == static_cast<int>(bytes.size());
}

void closeSocket(Socket socket) {
    closesocket(static_cast<SOCKET>(socket));
}

std::string boundAddress(Socket socket) {
    sockaddr_in address{};
    int size = sizeof address;
    getsockname(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&address), &size);
    return named(address);
}

} // namespace cli::serve
