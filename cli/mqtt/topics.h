#pragma once

#include <string>

namespace cli::mqtt {

// "<prefix>/<station>/<leaf>" ("<station>/<leaf>" without a prefix).
std::string topic(const std::string& prefix, const std::string& station, const std::string& leaf);

// Throws UsageError where the station's name would split the topic or be a
// wildcard ('/', '+', '#'), or is empty.
void checkStation(const std::string& station);

} // namespace cli::mqtt
