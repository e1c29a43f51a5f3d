#pragma once

#include <string>
#include <string_view>

namespace convert {

// The text with its control characters shown as escapes ("\x1b", "\u009b"),
// so that what a person typed, quoted back in a message, cannot move the
// cursor, clear the screen or retitle the terminal. Line breaks stay, unless
// the text is one field of a line (where one would forge another line).
std::string printable(std::string_view utf8, bool keepLineBreaks = true);

// Whether the text holds a control character (C0, DEL or C1), a line break
// included.
bool hasControl(std::string_view utf8);

} // namespace convert
