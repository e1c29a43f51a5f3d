#pragma once
// Every pattern a self-test drove and what its inputs read, kept with the run
// so that its findings can be worked out again from its own readings.

#include "core/selftest/interconnect.h"
#include "core/selftest/report.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli::selftest {

struct TracedPattern {
    std::vector<bool> driven;    // a value for each tested line's output
    std::optional<Reading> read; // none: the run ended before it was read
};
using Patterns = std::vector<TracedPattern>;

// How a run was tested, as far as it went: the codes the lines were given, how
// often each pattern was read, and each pattern as it was driven and read.
struct Trace {
    Codes codes = Codes::Adaptive;
    int reads = 2;
    Patterns patterns;
};
inline constexpr int kMostReads = 100; // --reads takes no more

// A line's values as kept: '0' and '1', one a tested line in channel order.
std::string bitsText(const std::vector<bool>& bits);
// The values such a text holds, or none where it is not `lines` of '0' and '1'.
std::optional<std::vector<bool>> bitsFrom(const std::string& text, std::size_t lines);

// The patterns as a run's JSON carries them (its "trace"): a pattern an object,
// "driven" and "read" as bitsText gives them, "changed" only where an input
// changed between reads, "read" missing for a pattern the run ended before
// reading.
nlohmann::ordered_json patternsJson(const Patterns& patterns);
// The patterns of a run of `lines` lines from that JSON, each checked as
// patternsJson writes it (no more than the test can drive, only the last one
// unread); std::invalid_argument saying what is wrong otherwise.
Patterns patternsFromJson(const nlohmann::json& json, std::size_t lines);
// The longest text patternsJson writes for `lines` lines: a longer one is
// refused before it is parsed.
std::size_t longestPatternsText(std::size_t lines);

// What is wrong with a trace that the test could not have driven or that does
// not give the findings kept with it.
class TraceMismatch : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A trace that ends where the test would have gone on: all there is of a run
// that was stopped.
class TraceEnded : public TraceMismatch {
public:
    using TraceMismatch::TraceMismatch;
};

// The report the readings give, the test driven again on them: TraceMismatch
// where a pattern is not the one the test would have driven after the
// readings before it or goes on after the test would have ended, TraceEnded
// where it ends first. An input's flickers are the patterns it changed in.
Report replay(const std::vector<int>& channels, const Trace& trace);

// Why a run's trace does not hold up, or "" where it does. A whole test's
// trace must give `faults` (an intermittent line flickering at least in each
// pattern it changed in and at most at each read after the first), whatever
// the run's status (its lines may have failed to go back to 0 after it); a
// trace that ends early is a stopped run's (not `finished`), which keeps no
// faults.
std::string traceDisagrees(const std::vector<int>& channels, const Trace& trace, bool finished,
                           const std::vector<Fault>& faults);

} // namespace cli::selftest
