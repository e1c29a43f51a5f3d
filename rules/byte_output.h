#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rules {

// The channel group a text names, rounded ties to even; none when it lies
// outside -32768..32767 (the output is then refused, not fatal).
std::optional<std::int16_t> groupFromText(std::string_view text);
// The byte a hexadecimal text names: the low eight bits of its value, read up
// to the first character that is not a hexadecimal digit. A leading "0x" or
// "&H" is taken as the prefix it is.
std::int16_t byteFromHexText(std::string_view text);
// The warning for a refused group, quoting (the first 40 characters of) the
// UTF-8 text that was typed.
std::string groupRefusedMessage(std::string_view text);

} // namespace rules
