// The baseline for dio-cli serve: a minimal libmodbus server that answers
// from memory, with no driver behind it. Listens on 127.0.0.1 at a port the
// system picks, says it on the standard output, serves one client, ends when
// it goes.
#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main() {
    modbus_t* context = modbus_new_tcp("127.0.0.1", 0);
    modbus_mapping_t* memory = modbus_mapping_new(128, 128, 16, 16);
    int listening = context && memory ? modbus_tcp_listen(context, 1) : -1;
    if (listening < 0)
        return 1;
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    getsockname(listening, reinterpret_cast<sockaddr*>(&bound), &size);
    std::printf("%d\n", ntohs(bound.sin_port));
    std::fflush(stdout);
    modbus_tcp_accept(context, &listening);
    std::uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
    for (int length; (length = modbus_receive(context, request)) >= 0;)
        if (length > 0)
            modbus_reply(context, request, length, memory);
    modbus_mapping_free(memory);
    modbus_free(context);
    return 0;
}
