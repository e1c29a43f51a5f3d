#include "full_width.h"

namespace convert {

std::string foldFullWidth(std::string_view utf8) {
    std::string folded;
    folded.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(utf8[at]); };
        if (i + 2 < utf8.size() && byte(i) == 0xEF && byte(i + 2) >= 0x80 && byte(i + 2) <= 0xBF) {
            // U+FF01..U+FF3F is EF BC 81..BF; U+FF40..U+FF5E is EF BD 80..9E.
            if (byte(i + 1) == 0xBC && byte(i + 2) >= 0x81) {
                folded += static_cast<char>(byte(i + 2) - 0x60);
                i += 2;
                continue;
            }
            if (byte(i + 1) == 0xBD && byte(i + 2) <= 0x9E) {
                folded += static_cast<char>(byte(i + 2) - 0x20);
                i += 2;
                continue;
            }
        }
        if (utf8.substr(i, 3) == "\xE3\x80\x80") { // U+3000
            folded += ' ';
            i += 2;
            continue;
        }
        folded += utf8[i];
    }
    return folded;
}

} // namespace convert
