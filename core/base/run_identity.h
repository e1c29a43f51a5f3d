#pragma once

#include <string>

namespace cli {

// A new run's identity, unique across the plant: a version-4 UUID from the
// system's random source.
std::string newRunIdentity();

} // namespace cli
