#pragma once
// Learning how a card's outputs reach its inputs through a loopback wiring,
// in few patterns: the counting-sequence test of boundary scan, then a few
// patterns aimed at the lines it leaves in doubt.

#include <functional>
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

// Drives a pattern (a value for each line's output) and returns what each
// line's input reads.
using Probe = std::function<std::vector<bool>(const std::vector<bool>& pattern)>;

struct Learned {
    std::vector<Behaviour> inputs; // one for each line
    int patterns = 0;              // how many were driven
};

// The bits of the code words: each line is given a number from 1 to `lines`,
// none all zeros, none all ones.
int codeBits(int lines);

// The most patterns `learn` drives: what walking ones and zeros would take
// (2 * lines + 2), or the code patterns and four more where that is more.
int patternBudget(int lines);

// Learns what every line's input does. First the code words and their
// complements (2 * codeBits patterns): a line that follows one output reads
// that output's code; a stuck line reads all zeros or all ones; lines shorted
// together read the AND or OR of their codes, never a code. Then, for the
// inputs in doubt, the all-ones and all-zeros patterns tell a stuck line from
// a short whose codes cover every bit, and patterns that hold only the
// candidates of a short at the value that shows them tell who is in it.
Learned learn(int lines, const Probe& probe);

} // namespace cli::selftest
