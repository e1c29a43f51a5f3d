#include "digits.h"

#include <algorithm>
#include <string>

namespace convert {

std::optional<long> decimalNumber(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stol(std::string(text));
}

std::string_view withoutHexPrefix(std::string_view text) {
    for (const std::string_view prefix : {"0x", "0X", "&H", "&h"})
        if (text.substr(0, 2) == prefix)
            return text.substr(2);
    return text;
}

} // namespace convert
