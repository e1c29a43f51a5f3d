#pragma once
// Every pattern a self-test drove and what its inputs read, kept with the run
// so that its findings can be worked out again from its own readings.

#include "core/selftest/interconnect.h"
#include "core/selftest/report.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli::selftest {

struct TracedPattern {
    std::vector<bool> driven;    // a value for each tested line's output
    std::optional<Reading> read; // none: the run ended before it was read
};
using Trace = std::vector<TracedPattern>;

// A line's values as kept: '0' and '1', one a tested line in channel order.
std::string bitsText(const std::vector<bool>& bits);
// The values such a text holds, or none where it is not `lines` of '0' and '1'.
std::optional<std::vector<bool>> bitsFrom(const std::string& text, std::size_t lines);

// The trace as a run's JSON carries it: a pattern an object, "driven" and
// "read" as bitsText gives them, "changed" only where an input changed
// between reads, "read" missing for a pattern the run ended before reading.
nlohmann::ordered_json traceJson(const Trace& trace);
// The trace of a run of `lines` lines from its JSON, every pattern checked as
// traceJson writes it (no more than the test can drive, only the last one
// unread); std::invalid_argument saying what is wrong otherwise.
Trace traceFromJson(const nlohmann::json& json, std::size_t lines);

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
Report replay(const std::vector<int>& channels, Codes codes, const Trace& trace);

// Why a run's trace does not hold up, or "" where it does: for a run that
// ended (`finished`), its `faults` are what the trace gives (an intermittent
// line flickering at least in the patterns it changed in: each of them was
// read again at least once); for a run that was stopped, the trace is the
// start of a test.
std::string traceDisagrees(const std::vector<int>& channels, Codes codes, const Trace& trace,
                           bool finished, const std::vector<Fault>& faults);

} // namespace cli::selftest
