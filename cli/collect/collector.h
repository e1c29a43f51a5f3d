#pragma once
// dio-cli collect: every station's runs from the plant's broker into its
// PostgreSQL, each once, each confirmed to its station once committed.

#include "cli/mqtt/broker_url.h"

#include <cstddef>
#include <string>

namespace cli {

struct CollectSetup {
    mqtt::BrokerUrl broker;               // its prefix that of the stations' topics
    std::string db;                       // as libpq names a server; "" for its environment
    std::string clientId = "dio-collect"; // the session the broker keeps while it is down
    std::size_t batch = 500;              // runs at most in one transaction
};

// Runs until a signal asks it to stop (then throws Interrupted, what it had
// received stored first where the database is there). A broker or a database
// that goes away is waited for, the gap said on the standard error; a
// message that is no run is said and skipped.
[[noreturn]] void collect(const CollectSetup& setup);

} // namespace cli
