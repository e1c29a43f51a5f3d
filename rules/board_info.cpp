#include "board_info.h"

#include "convert/format.h"

namespace rules {

std::string boardCaption(std::uint8_t family0, std::uint8_t family1, std::uint8_t type) {
    return "卡名：ZAN" + convert::Str(family0) + convert::Str(family1) + "类型：" +
           convert::Str(type);
}

} // namespace rules
