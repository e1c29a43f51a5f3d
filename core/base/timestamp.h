#pragma once

#include <chrono>
#include <string>

namespace cli {

// ISO 8601 to the millisecond: local time with its offset from UTC
// ("2026-12-08T12:34:56.789+08:00"), or UTC ("2026-12-08T04:34:56.789Z").
std::string isoTimestamp(std::chrono::system_clock::time_point when, bool utc);

} // namespace cli
