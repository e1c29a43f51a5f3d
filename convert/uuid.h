#pragma once
// A run's identity across the plant: a random (version 4) UUID in its usual
// text, "8-4-4-4-12" lower-case hex digits.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace convert {

// The random bytes as a version-4 UUID (its version and variant bits set).
std::string uuidText(std::array<std::uint8_t, 16> bytes);

// Whether the text is a UUID in that form (any version, lower or upper case).
bool isUuid(std::string_view text);

} // namespace convert
