#pragma once

#include <string>
#include <string_view>

namespace convert {

// The text with its control characters shown as escapes ("\x1b", "\u009b"),
// so that what a person typed, quoted back in a message, cannot move the
// cursor, clear the screen or retitle the terminal. Line breaks stay.
std::string printable(std::string_view utf8);

} // namespace convert
