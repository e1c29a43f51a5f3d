#pragma once

#include <string>
#include <string_view>

namespace convert {

// What a Chinese input method types in full-width mode, as the ASCII it stands
// for: U+FF01 to U+FF5E become '!' to '~', U+3000 (the ideographic space) a
// blank. Everything else in the UTF-8 text is left as it is.
std::string foldFullWidth(std::string_view utf8);

} // namespace convert
