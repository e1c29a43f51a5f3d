#pragma once
// The adaptive self-test: each line a distinct code of ceil(log2(lines + 2))
// bits, neither all zeros nor all ones, then patterns aimed only where the
// readings leave something open.
//
// Why so few suffice: each input sits on one net, which reads the AND (or the
// OR) of the outputs on it, or a constant. Inputs that read differently are on
// different nets, and a net that reads no output's column needs two outputs at
// least. Where the nets found need every output (every input reads its own
// code, say), each net has exactly one, the one whose column it reads. Where
// outputs are left over, a net may hide one of them when its column is inside
// (AND) or around (OR) that net's: a pattern with the spare line at the value
// that shows it and the net's own line at the other tells. Once no spare line
// can hide so, every net that reads a line's column is that line alone, and
// the spare lines explain what is left (shorts, lines stuck or open).

#include "core/selftest/interconnect.h"

#include <cstdint>
#include <vector>

namespace cli::selftest {

// The codes the lines are given, a line's at its index: middle weights first,
// whose words contain the fewest others, then the next weight below.
std::vector<std::uint32_t> adaptiveCodes(int lines);

Learned learnAdaptive(int lines, const Probe& probe);

} // namespace cli::selftest
