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

} // namespace convert
