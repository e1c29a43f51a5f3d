#pragma once
// What the station's window shows of its runs: the day's counts, the last
// ten, the channels that fail most. Qt-free, from the records as they are
// read back, so that a window started again shows the same day.

#include "cli/records/store.h"

#include <cstddef>
#include <string>
#include <vector>

namespace station {

struct DayCounts {
    long tested = 0; // runs that ended with a verdict (pass or fail)
    long passed = 0;
    long failed = 0;
    long retests = 0;     // runs of a serial whose previous verdict was a fail
    long units = 0;       // serials with a verdict that day
    long firstPassed = 0; // of them, those that passed at their first test
    // First-pass yield: units that passed at their first test, of all units.
    double firstPassYield() const {
        return units == 0 ? 0.0 : static_cast<double>(firstPassed) / static_cast<double>(units);
    }
};

struct ChannelCount {
    int channel = 0;
    long runs = 0; // runs that found it faulty
};

struct StationDay {
    DayCounts counts;
    std::vector<cli::records::RecordedRun> lastTen; // newest first, whatever their end
    std::vector<ChannelCount> mostFailing;          // most often first, at most `kChartChannels`
};
inline constexpr std::size_t kChartChannels = 10;

// `runs`: one station's, newest first (as the records give them), reaching
// back before the day so that a retest is known as one; `dayStart`: the
// day's first moment as the records write times (UTC, ISO 8601); the chart
// over the last `chartRuns` runs with a verdict.
StationDay stationDay(const std::vector<cli::records::RecordedRun>& runs,
                      const std::string& dayStart, std::size_t chartRuns);

// Whether testing this serial now is a retest: its last verdict was a fail.
bool isRetest(const std::vector<cli::records::RecordedRun>& runs, const std::string& serial);

} // namespace station
