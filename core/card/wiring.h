#pragma once

#include "driver/card_shape.h"

#include <string>
#include <vector>

namespace cli {

using card::kChannels;
using card::kMaxInputWords;

// Where an output channel's line comes back: input word and bit.
struct InputBit {
    int word;
    int bit;
};

// Which input each output channel is wired back to.
class Wiring {
public:
    // As the simulated card and a straight loopback cable have it: channel c
    // at input word (c-1)/8, bit (c-1)%8.
    Wiring();
    // A map file: a line "CHANNEL WORD BIT [NAME]" for each channel wired
    // otherwise or named (the name of its wire in a waveform: letters, digits
    // and _ . - [ ], at most 64); blank lines and "#" comments are ignored, a
    // byte-order mark too. Throws UsageError naming the line that is wrong (a
    // channel, an input or a name given twice among them), or for a file that
    // cannot be read or wires nothing.
    static Wiring fromFile(const std::string& path);

    InputBit input(int channel) const { return inputs_[channel - 1]; }
    // The channel's name from the map, or "".
    const std::string& name(int channel) const { return names_[channel - 1]; }
    // How many input words the given channels need read.
    int wordsFor(const std::vector<int>& channels) const;
    // Throws UsageError where two of the channels come back on one input (a
    // map that wires a channel where another's unmapped line already is): a
    // self-test could not tell them apart.
    void requireOwnInputs(const std::vector<int>& channels) const;

private:
    std::vector<InputBit> inputs_;
    std::vector<std::string> names_;
};

// A channel list such as "1-8,17,20-22": ascending, each once. Throws
// UsageError for anything else than channels 1 to 128.
std::vector<int> parseChannels(const std::string& list);

} // namespace cli
