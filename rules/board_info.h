#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace rules {

// The board's caption from reply bytes 0 and 1 and byte 4: "卡名：ZAN" with the
// Str forms of the first two, then "类型：" and that of the third.
std::string boardCaption(std::uint8_t family0, std::uint8_t family1, std::uint8_t type);
// The same from the board-info reply buffer, at the places it holds them.
std::string boardCaptionOf(const std::uint8_t* reply);

// The three numbers back from a caption of that form, or none where it has not
// that form (the family's two after "ZAN", the type after "类型：").
std::optional<std::array<int, 3>> boardNumbers(const std::string& caption);

} // namespace rules
