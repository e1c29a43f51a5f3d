#pragma once

#include <string>

namespace cli {

// A name made from a text, the same for the same text in every build and on
// every system: FNV-1a (64 bits) as 16 hexadecimal digits. Not a secret, not
// proof against someone choosing texts that collide.
std::string digestOf(const std::string& text);

} // namespace cli
