#include "board_info.h"

#include "convert/digits.h"
#include "convert/format.h"
#include "driver/adcard_abi.h"

#include <sstream>

namespace rules {
namespace {

constexpr const char* kFamily = "卡名：ZAN";
constexpr const char* kType = "类型：";

std::optional<int> byte(const std::string& word) {
    const std::optional<long> value = convert::decimalNumber(word, 6);
    return value && *value <= 255 ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

} // namespace

std::string boardCaption(std::uint8_t family0, std::uint8_t family1, std::uint8_t type) {
    return kFamily + convert::Str(family0) + convert::Str(family1) + kType + convert::Str(type);
}

std::string boardCaptionOf(const std::uint8_t* reply) {
    return boardCaption(reply[ADCARD_REPLY_FAMILY_0], reply[ADCARD_REPLY_FAMILY_1],
                        reply[ADCARD_REPLY_TYPE]);
}

std::optional<std::array<int, 3>> boardNumbers(const std::string& caption) {
    const std::string family = kFamily, type = kType;
    const auto at = caption.find(family.substr(family.size() - 3)); // "ZAN"
    const auto typeAt = caption.find(type);
    if (at == std::string::npos || typeAt == std::string::npos || typeAt < at)
        return std::nullopt;
    std::istringstream numbers(caption.substr(at + 3, typeAt - at - 3));
    std::istringstream kind(caption.substr(typeAt + type.size()));
    std::string a, b, c;
    numbers >> a >> b;
    kind >> c;
    const auto x = byte(a), y = byte(b), z = byte(c);
    if (!x || !y || !z)
        return std::nullopt;
    return std::array<int, 3>{*x, *y, *z};
}

} // namespace rules
