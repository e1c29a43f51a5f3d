#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace rules {

// The number of input words asked for and shown on each tick.
constexpr std::int16_t kInputWordCount = 4;

// The texts one enabled tick writes, in the order they are written.
struct InputCaptions {
    std::string words;  // lblDI: the four words in hexadecimal, joined by "-"
    std::string word0;  // lblDI_0: word 0 in hexadecimal, then its bit row
    std::string header; // lblBit: the bit numbers above the rows
    std::string word1;  // lblDI_1: word 1 in hexadecimal, then its bit row
};

// The captions of the first four input words the card returned.
InputCaptions inputCaptions(const std::array<std::int16_t, kInputWordCount>& words);

} // namespace rules
