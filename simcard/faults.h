#pragma once

#include "simcard/card_memory.h"

#include <array>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace simcard {

// Faults of the card's loopback wiring (output channel c wired back to input
// channel c), as ADCARD_SIM_FAULTS describes them, for example
//   stuck0=5;stuck1=9;open=60;short-and=17,18;short-or=20,21,22;cross=33,40
// with channels 1 to 128. A stuck line is held at its value by what drives it,
// so lines shorted to it see the value too; an open input reads 1, as a
// pulled-up input does; lines shorted together all carry the AND (or OR) of
// what drives them; a crossing swaps two outputs' wires. An intermittent input
// (flicker=5) reads a random bit at every read, from the generator seeded with
// seed=N (default 1), so that a run can be repeated. A card that stops
// answering: silent-after=MS fails every call from MS milliseconds after the
// card's first use in the process; with silent=CHANNELS, only the writes that
// reach those lines fail.
struct Faults {
    struct Short {
        bool wiredAnd;
        std::vector<int> lines; // 0-based
    };
    std::array<int, kLines> held;   // -1, or the value the line's driver is stuck at
    std::array<bool, kLines> open;  // the input reads 1
    std::array<int, kLines> source; // the line whose wire reaches this input
    std::vector<Short> shorts;
    std::array<bool, kLines> flickers; // the input reads a random bit
    unsigned seed = 1;
    std::optional<std::chrono::milliseconds> silentAfter;
    std::array<bool, kLines> silent; // none: every call
    bool silentLines = false;

    Faults();
};

// Reads a description; a malformed one gives none, and `error` names the part
// that is wrong and why.
std::optional<Faults> parseFaults(const std::string& text, std::string& error);

// What the inputs read while the outputs are driven so; an intermittent
// input takes its bit from `random`.
std::array<bool, kLines> inputsFor(const std::array<bool, kLines>& outputs, const Faults& faults,
                                   std::minstd_rand& random);

} // namespace simcard
