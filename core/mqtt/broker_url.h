#pragma once

#include <string>

namespace cli::mqtt {

// mqtt://host[:port]/topic/prefix, or mqtts:// for TLS (ports 1883 and 8883
// unless given). A user name and password come from the environment
// (DIO_MQTT_USER, DIO_MQTT_PASSWORD), never from the URL, where they would
// show in the process list.
struct BrokerUrl {
    bool tls = false;
    std::string host;
    int port = 1883;
    std::string prefix;       // the topics' first levels, without a trailing '/'
    std::string text() const; // "mqtt://host:port", for messages
};

// Throws UsageError naming what is wrong.
BrokerUrl parseBrokerUrl(const std::string& url);

} // namespace cli::mqtt
