#pragma once
// Learning how a card's outputs reach its inputs through a loopback wiring,
// in few patterns: each line's code word, then a few patterns aimed at the
// lines the words leave in doubt.

#include "convert/named.h"

#include <functional>
#include <utility>
#include <vector>

namespace cli::selftest {

// What one line's input does, as learned: reads 0 or 1 whatever is driven,
// follows one output, follows the AND or the OR of several (a short), or
// something none of these explain.
struct Behaviour {
    enum class Kind { Zero, One, Follows, And, Or, Unknown };
    Kind kind = Kind::Unknown;
    std::vector<int> lines; // the outputs it follows, ascending
};

// What each line's input read under a pattern, and which of them read
// differently when read again (none where it was read once). Made from the
// values alone where nothing was read twice.
struct Reading {
    std::vector<bool> values, changed;
    Reading(std::vector<bool> read = {}, std::vector<bool> flickered = {})
        : values(std::move(read)), changed(std::move(flickered)) {}
};

// Drives a pattern (a value for each line's output) and returns what each
// line's input reads.
using Probe = std::function<Reading(const std::vector<bool>& pattern)>;

struct Learned {
    std::vector<Behaviour> inputs; // one for each line
    int patterns = 0;              // how many were driven
};

// The code words a line is given.
//  - ConstantWeight: words of k bits with k/2 of them set, k the fewest for
//    which there are enough (Sperner: no fewer patterns can tell every short
//    of two lines from sound lines): 10 patterns for 128 lines. One word a
//    pattern bit, each driven once.
//  - Counting: the line's number from 1, in as few bits as hold it and all
//    ones, each bit driven and then its complement: 16 patterns for 128.
//  - Adaptive: distinct codes of as few bits as hold them, none all zeros or
//    all ones, each bit driven once (8 patterns for 128 lines, the fewest any
//    test can prove a sound cable in), then patterns aimed where the readings
//    leave something open (adaptive.h).
enum class Codes { Adaptive, ConstantWeight, Counting };
inline constexpr convert::Named<Codes> kCodesNames[] = {{Codes::Adaptive, "adaptive"},
                                                        {Codes::ConstantWeight, "constant-weight"},
                                                        {Codes::Counting, "counting"}};

// The bits of the counting code: each line is given a number from 1 to
// `lines`, none all zeros, none all ones.
int codeBits(int lines);
// The bits of the constant-weight code: the least k >= 2 with C(k, k/2) >= lines.
int constantWeightBits(int lines);
// The patterns a sound card takes.
int codePatterns(int lines, Codes codes);

// The most patterns `learn` drives: what walking ones and zeros would take
// (2 * lines + 2), or the counting patterns and four more where that is more.
int patternBudget(int lines);

// Learns what every line's input does. First the code patterns: a line that
// follows one output reads that output's word; a stuck line reads all zeros
// or all ones; lines shorted together read the AND (fewer ones than a word)
// or the OR (more) of their words, never a word. Then, for the inputs in
// doubt, patterns that hold only the candidates of a short at the value that
// shows them tell who is in it, and the all-ones and all-zeros patterns tell
// a stuck line from a short whose words have no bit in common (or every bit).
Learned learn(int lines, const Probe& probe, Codes codes = Codes::Adaptive);

} // namespace cli::selftest
