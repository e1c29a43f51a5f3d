#include "utf8.h"

namespace convert {

Decoded decodeUtf8(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    const std::size_t size = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
    if (size == 0 || at + size > bytes.size())
        return {-1, 1};
    long code = size == 1 ? lead : lead & (0x7F >> size);
    for (std::size_t k = 1; k < size; ++k) {
        const auto next = static_cast<unsigned char>(bytes[at + k]);
        if ((next & 0xC0) != 0x80)
            return {-1, 1};
        code = code << 6 | (next & 0x3F);
    }
    const long least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[size] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return {-1, 1};
    return {code, size};
}

bool validUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const Decoded decoded = decodeUtf8(bytes, at);
        if (decoded.code < 0)
            return false;
        at += decoded.size;
    }
    return true;
}

std::string xmlCharacters(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const Decoded decoded = decodeUtf8(bytes, at);
        const long c = decoded.code;
        if (c < 0)
            out += "\xEF\xBF\xBD"; // U+FFFD
        else if (c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                 (c >= 0xE000 && c <= 0xFFFD) || c >= 0x10000)
            out.append(bytes.substr(at, decoded.size));
        at += decoded.size;
    }
    return out;
}

} // namespace convert
