#pragma once

#include <optional>
#include <string_view>

namespace convert {

// The number that the text writes in ASCII decimal digits and nothing else
// (no sign, no blank), at most `maxDigits` of them; none for anything else.
std::optional<long> decimalNumber(std::string_view text, std::size_t maxDigits);

// The text after a hexadecimal prefix at its start ("0x", "0X", "&H", "&h"),
// or the text itself where it has none.
std::string_view withoutHexPrefix(std::string_view text);

} // namespace convert
