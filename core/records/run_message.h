#pragma once
// A run as a station publishes it to the plant and the collector reads it
// back: the JSON of `history --format json` with the run's identity, without
// the station's local row number.

#include "core/records/store.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace cli::records {

// Larger messages are no run of ours (a 128-line run with every line faulty
// takes some 20 KB, and its trace at most 258 patterns of some 420 bytes).
inline constexpr std::size_t kLargestRunMessage = 1 << 20;

// The message's layout: 2 adds a plan's runs (the plan and its steps), the
// suspected fixture and the overruled repair; a message without a version is
// of layout 1. A collector refuses a newer one rather than store a run
// without what it cannot read (stations keep sending it until confirmed).
inline constexpr long kMessageVersion = 2;

// The message; text that is not UTF-8 (a serial a scanner sent in another
// encoding) has its stray bytes as "\xNN", since the plant's store keeps only
// UTF-8.
std::string runMessage(const RecordedRun& run);

// What is wrong with a message that is not a run.
class NotARun : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The run a message carries, every field checked as a station writes it
// (a UUID, UTC times, known names, control characters refused); NotARun
// saying what is wrong otherwise.
RecordedRun runFromMessage(std::string_view message);

} // namespace cli::records
