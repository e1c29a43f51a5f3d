#include "printable.h"

#include <cstdio>

namespace convert {

std::string printable(std::string_view utf8, bool keepLineBreaks) {
    std::string shown;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        char escape[8] = "";
        if ((byte < 0x20 && (byte != '\n' || !keepLineBreaks)) || byte == 0x7F)
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
        else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) // U+0080 to U+009F
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(next));
        if (escape[0] == '\0') {
            shown += utf8[i];
            continue;
        }
        shown += escape;
        i += byte == 0xC2 ? 1 : 0;
    }
    return shown;
}

bool hasControl(std::string_view utf8) {
    return printable(utf8, false) != utf8;
}

bool validUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t size = lead < 0x80                    ? 1
                                 : lead >= 0xC2 && lead <= 0xDF ? 2
                                 : lead >= 0xE0 && lead <= 0xEF ? 3
                                 : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                : 0;
        if (size == 0 || i + size > bytes.size())
            return false;
        unsigned code = size == 1 ? lead : lead & (0x7F >> size);
        for (std::size_t k = 1; k < size; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[size] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += size;
    }
    return true;
}

} // namespace convert
