#pragma once

#include "driver/card_shape.h"

#include <string>
#include <string_view>

namespace rules {

// Each rule reads a box's text as typed: the full-width characters of a
// Chinese input method ("１２", "ＦＦ") as the ASCII they stand for.

// The output channels, numbered from 1; channel c is the card's bit c - 1.
constexpr int kChannelMin = 1;
constexpr int kChannelMax = card::kChannels;

// The output channel a text names: its number rounded ties to even and held
// to 1..128 before any narrowing, so that no text can overflow.
int channelFromText(std::string_view text);
// The bit value to send: 0 when the text's number rounds to 0, else 1.
// Not narrowed, so any number, however large, is a 1.
int bitValueFromText(std::string_view text);
// The value box after a double-click: " 1" when it reads as 0, else " 0".
std::string toggledBitText(std::string_view text);

} // namespace rules
