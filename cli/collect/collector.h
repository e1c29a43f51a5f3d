#pragma once
// dio-cli collect: every station's runs from the plant's broker into its
// PostgreSQL, each once, each confirmed to its station once committed.

#include "core/mqtt/broker_url.h"

#include <cstddef>
#include <string>

namespace cli {

struct CollectSetup {
    mqtt::BrokerUrl broker; // its prefix that of the stations' topics
    std::string db;         // as libpq names a server; "" for its environment
    // The session the broker keeps while it is down; "" for one named after
    // the prefix and the database (defaultClientId): a session keeps every
    // subscription it ever made, so that one name for two collectors would
    // hand each the other's runs.
    std::string clientId;
    std::size_t batch = 500; // runs at most in one transaction
};

// "dio-collect-" and a digest of the prefix and the server and database the
// connection text reaches (its environment's too).
std::string defaultClientId(const mqtt::BrokerUrl& broker, const std::string& db);

// Runs until a signal asks it to stop (then throws Interrupted, what the
// broker had handed over stored first where the database is there). A broker
// or a database that goes away is waited for, the gap said on the standard
// error; a message that is no run of this prefix's stations is said and
// skipped.
[[noreturn]] void collect(const CollectSetup& setup);

} // namespace cli
