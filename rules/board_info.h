#pragma once

#include <cstdint>
#include <string>

namespace driver {
class DllDef;
}

namespace rules {

// "卡名：ZAN" with the Str forms of reply bytes 0 and 1, then "类型：" and byte 4.
std::string boardInfoCaption(std::uint8_t family0, std::uint8_t family1, std::uint8_t type);

// Asks the card for its identification once and returns the caption for it.
// The call's result is not examined, nor narrowed: a driver's odd return value
// must not end the program.
std::string readBoardInfo(driver::DllDef& dll);

} // namespace rules
