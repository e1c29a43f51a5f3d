#pragma once

#include <string>
#include <string_view>

namespace convert {

// Why the text is not an IPv4 address as this program takes one, or "" where
// it is: four decimal numbers of 0 to 255 between dots, nothing else. A
// number with a leading zero is refused, naming it, since the system's own
// readers take "010" as octal (8) and would reach another host; and of the
// addresses starting with 0 only 0.0.0.0 (every interface) is taken, as the
// Modbus library listens on every interface for any of them. A host name is
// not resolved.
std::string ipv4Problem(std::string_view text);

} // namespace convert
