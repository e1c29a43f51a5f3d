#pragma once
// What the station's window shows of its runs: the day's counts, the last
// ten, the channels that fail most. Qt-free, from the records as they are
// read back, so that a window started again shows the same day.

#include "core/records/store.h"

#include <cstddef>
#include <string>
#include <vector>

namespace station {

struct DayCounts {
    long tested = 0; // runs that ended with a verdict (pass or fail)
    long passed = 0;
    long failed = 0;
    long retests = 0;     // runs of a serial whose previous verdict was a fail
    long units = 0;       // serials tested that day
    long firstPassed = 0; // of them, those whose first run that day passed
    // First-pass yield, as the plant's station_days and `history --stats --by
    // station` count it: units whose first run of the day passed, of all units.
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
    // The chart's runs: fewer than asked for while the records hold fewer.
    std::size_t chartedRuns = 0;
};
inline constexpr std::size_t kChartChannels = 10;
inline constexpr std::size_t kLastRuns = 10; // the window's last ten

// `units`: one station's runs of the serials tested since `dayStart` (the
// day's first moment as the records write times: UTC, ISO 8601), with their
// runs before it, so that a retest is known as one; `recent`: its newest
// runs, whatever their day. Both newest first, as the records give them. The
// chart over the first `chartRuns` of `recent`.
StationDay stationDay(const std::vector<cli::records::RecordedRun>& units,
                      const std::vector<cli::records::RecordedRun>& recent,
                      const std::string& dayStart, std::size_t chartRuns);

// One station's day as its records file at `path` holds it (an empty day
// where there is no file yet), the day starting at `dayStart`. Throws
// RecordFailed where the file cannot be read.
StationDay readStationDay(const std::string& path, const std::string& station,
                          const std::string& dayStart, std::size_t chartRuns);

// Whether testing this serial now is a retest: its last verdict among `runs`
// (newest first) was a fail.
bool isRetest(const std::vector<cli::records::RecordedRun>& runs, const std::string& serial);
// The same from the station's records file at `path` (none yet: no retest).
// Throws RecordFailed where the file cannot be read.
bool readRetest(const std::string& path, const std::string& station, const std::string& serial);

} // namespace station
