#pragma once

#include "core/base/duration.h"

#include <chrono>
#include <string>
#include <vector>

namespace cli {

// "CHANNEL=0|1": one output line and its value.
struct BitSetting {
    int channel;
    int value;
};
// "GROUP=HEX": a channel group (8 lines) and its byte.
struct ByteSetting {
    int group;
    int byte;
};

// Each throws UsageError naming the argument that is wrong, and why; a channel
// or group given twice is wrong too (which value would be meant?). Full-width
// characters read as typed, and a byte may carry "0x" or "&H".
std::vector<BitSetting> parseBitSettings(const std::vector<std::string>& arguments);
std::vector<ByteSetting> parseByteSettings(const std::vector<std::string>& arguments);

// A whole number from `low` to `high` given for `option` (full-width digits
// read as typed), or UsageError naming the option and the range.
long parseNumber(const std::string& text, const std::string& option, long low, long high);

} // namespace cli
