#pragma once

#include <cstdint>
#include <string>

namespace rules {

// The board's caption from reply bytes 0 and 1 and byte 4: "卡名：ZAN" with the
// Str forms of the first two, then "类型：" and that of the third.
std::string boardCaption(std::uint8_t family0, std::uint8_t family1, std::uint8_t type);

} // namespace rules
