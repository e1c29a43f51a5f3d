#pragma once

#include <string_view>

namespace convert {

// Reads the number at the start of a text the way the panel's users expect from
// a Basic-style Val: blanks, tabs and line feeds anywhere are ignored, the
// longest leading decimal number is read, and "&H" starts a hexadecimal number
// (one to four digits give a 16-bit signed value, five or more a 32-bit signed
// value made of the low 32 bits). A text without a number yields 0.
// Never fails: a decimal exponent too large gives an infinity, which narrowing
// then reports as overflow.
double Val(std::string_view text);

} // namespace convert
