#pragma once
// dio-cli serve: the card as a Modbus TCP device (the map: modbus_map.h).

#include <chrono>
#include <optional>
#include <string>

namespace cli {

class Card;

struct ServeSetup {
    std::string address = "127.0.0.1";
    int port = 1502; // 0: one the system picks, logged
    bool readOnly = false;
    int maxClients = 8;
    std::chrono::milliseconds idleTimeout{60000};
    std::optional<std::string> log; // a file, else the standard error
};

// Serves until a signal asks it to stop (then throws Interrupted), with the
// outputs left as they are: stopping a server must not change a plant's
// outputs. Several clients at once, each dropped after the idle timeout or
// when it sends what no Modbus TCP client sends; every driver call from this
// thread, one request at a time. Throws UsageError where the address cannot
// be listened on.
[[noreturn]] void serveCard(Card& card, const ServeSetup& setup);

} // namespace cli
