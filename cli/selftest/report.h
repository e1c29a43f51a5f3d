#pragma once

#include "cli/selftest/interconnect.h"

#include <string>
#include <vector>

namespace selftest {

// A fault the self-test names. Kinds: "stuck-0", "stuck-1" (an input that
// reads one value whatever is driven: an open line reads so too), "short"
// (inputs that read the AND or OR of the channels given), "crossed" (the first
// channel's output reaches the second's input), "intermittent" (an input that
// changed while its pattern stood still, `flickers` times: what it read says
// nothing of the wiring) and "undecided" (readings that more than one set of
// faults would give; `why` says which case).
struct Fault {
    std::string kind;
    std::vector<int> channels;
    std::string wired; // "and" or "or", for a short
    std::string why;   // for undecided: "same-value", "unseen-output", "unexplained"
    int flickers = 0;  // for intermittent
};

struct Report {
    int channels = 0;
    int patterns = 0;
    int sound = 0; // channels named in no fault
    std::vector<Fault> faults;
};

// The faults the learned behaviour shows, for the lines' channel numbers;
// `flickers` (one count a line, or none) says how often each input changed
// while its pattern stood still.
Report makeReport(const std::vector<int>& channels, const Learned& learned,
                  const std::vector<int>& flickers = {});

// Channel numbers as the texts list them: "17、18".
std::string joined(const std::vector<int>& channels, const char* separator = "、");

// One line summing it up, then one line a fault, in Chinese.
std::string summaryText(const Report& report);
std::vector<std::string> faultTexts(const Report& report);
// The report as a test station reads it (JSON).
std::string reportJson(const Report& report);

} // namespace selftest
