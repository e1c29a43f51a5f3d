#include "station_day.h"

#include <algorithm>
#include <map>
#include <set>

namespace station {

using cli::records::RecordedRun;
using cli::records::RunStatus;

namespace {

bool hasVerdict(const RecordedRun& run) {
    return run.status == RunStatus::Pass || run.status == RunStatus::Fail;
}

std::vector<ChannelCount> mostFailing(const std::vector<RecordedRun>& runs, std::size_t chartRuns) {
    std::map<int, long> counts;
    std::size_t seen = 0;
    for (const RecordedRun& run : runs) {
        if (!hasVerdict(run))
            continue;
        if (seen++ == chartRuns)
            break;
        std::set<int> faulty; // a channel in two faults of a run counts once
        for (const cli::selftest::Fault& fault : run.faults)
            faulty.insert(fault.channels.begin(), fault.channels.end());
        for (int channel : faulty)
            ++counts[channel];
    }
    std::vector<ChannelCount> ranked;
    for (const auto& [channel, count] : counts)
        ranked.push_back({channel, count});
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const ChannelCount& a, const ChannelCount& b) { return a.runs > b.runs; });
    if (ranked.size() > kChartChannels)
        ranked.resize(kChartChannels);
    return ranked;
}

} // namespace

StationDay stationDay(const std::vector<RecordedRun>& runs, const std::string& dayStart,
                      std::size_t chartRuns) {
    StationDay day;
    DayCounts& counts = day.counts;
    std::map<std::string, RunStatus> lastVerdict; // of each serial, so far
    std::set<std::string> unitsToday;
    // Oldest first: a run is a retest by what came before it.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        if (!hasVerdict(*run))
            continue;
        const auto before = lastVerdict.find(run->serial);
        const bool retest = before != lastVerdict.end() && before->second == RunStatus::Fail;
        if (run->started >= dayStart) {
            ++counts.tested;
            ++(run->status == RunStatus::Pass ? counts.passed : counts.failed);
            counts.retests += retest;
            if (unitsToday.insert(run->serial).second) {
                ++counts.units;
                // A unit that failed before the day and passes now did not pass first.
                counts.firstPassed += run->status == RunStatus::Pass && before == lastVerdict.end();
            }
        }
        lastVerdict[run->serial] = run->status;
    }
    day.lastTen.assign(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(
                                                        std::min<std::size_t>(10, runs.size())));
    day.mostFailing = mostFailing(runs, chartRuns);
    return day;
}

bool isRetest(const std::vector<RecordedRun>& runs, const std::string& serial) {
    for (const RecordedRun& run : runs)
        if (run.serial == serial && hasVerdict(run))
            return run.status == RunStatus::Fail;
    return false;
}

} // namespace station
