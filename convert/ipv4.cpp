#include "ipv4.h"

#include "digits.h"

#include <optional>

namespace convert {

std::string ipv4Problem(std::string_view text) {
    std::string notAddress =
        "“" + std::string(text) + "”不是 IPv4 地址（应为四个 0 到 255 的数，如 192.168.1.20）";
    std::size_t at = 0;
    for (int octet = 0; octet < 4; ++octet) {
        const std::size_t end = octet < 3 ? text.find('.', at) : text.size();
        if (end == std::string_view::npos)
            return notAddress;
        const std::string_view digits = text.substr(at, end - at);
        const std::optional<long> value = decimalNumber(digits, 3);
        if (!value || *value > 255)
            return notAddress;
        if (digits.size() > 1 && digits[0] == '0')
            return "“" + std::string(text) + "”里的“" + std::string(digits) +
                   "”有前导零（别的程序会把它当八进制读）：去掉前导零";
        at = end + 1;
    }
    if (text[0] == '0' && text != "0.0.0.0")
        return "“" + std::string(text) + "”：以 0 开头的地址只有 0.0.0.0（所有接口）";
    return "";
}

} // namespace convert
