#pragma once

#include "core/mqtt/broker_url.h"

#include <optional>
#include <string>

namespace cli::mqtt {

// "<prefix>/<station>/<leaf>" ("<station>/<leaf>" without a prefix).
std::string topic(const std::string& prefix, const std::string& station, const std::string& leaf);
// The station of "<prefix>/<station>/<leaf>"; none for any other topic (a
// kept session may deliver what another prefix's subscription matched).
std::optional<std::string> stationOf(const std::string& topic, const std::string& prefix,
                                     const std::string& leaf);

// Throws UsageError, before anything is driven, where the topics could not be
// published to: a station that would split the topic or be a wildcard ('/',
// '+', '#') or is empty; a prefix or station starting with '$' (such topics
// are the broker's own, and it drops what is published to them); control
// characters or text that is not UTF-8 in either; a topic longer than MQTT's
// 65,535 bytes.
void checkTopics(const std::string& prefix, const std::string& station);
// The broker a URL names, checked with the station's name for its topics.
BrokerUrl stationBroker(const std::string& url, const std::string& station);

} // namespace cli::mqtt
