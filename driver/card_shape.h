#pragma once
// The card's shape, as every part of this project sees it (the simulated card
// included): 128 output channels, numbered from 1, in 16 groups of eight;
// channel c is bit (c - 1) % 8 of group (c - 1) / 8, and on a straight
// loopback comes back to the same bit of input word (c - 1) / 8. A driver may
// be asked for up to 32 input words (the binding's buffer holds 33).

namespace card {

constexpr int kChannels = 128;
constexpr int kLinesPerGroup = 8;
constexpr int kGroups = kChannels / kLinesPerGroup;
constexpr int kMaxInputWords = 32;

constexpr int groupOf(int channel) {
    return (channel - 1) / kLinesPerGroup;
}
constexpr int bitOf(int channel) {
    return (channel - 1) % kLinesPerGroup;
}

} // namespace card
