#pragma once
// Durations as a person types them and as the programs show them.

#include <chrono>
#include <string>

namespace cli {

// A duration such as "200ms", "5s", "2m", "1h" or "1.5s" (a bare number is
// seconds), digits first: no blanks, signs or hexadecimal. Throws UsageError
// naming `option` for anything else, or a duration that is not positive.
std::chrono::milliseconds parseDuration(const std::string& text, const std::string& option);
// As parseDuration reads it back: "200ms", "60s".
std::string formatDuration(std::chrono::milliseconds duration);

} // namespace cli
