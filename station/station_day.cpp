#include "station_day.h"

#include <filesystem>

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

std::vector<ChannelCount> mostFailing(const std::vector<RecordedRun>& runs) {
    std::map<int, long> counts;
    for (const RecordedRun& run : runs) {
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

// What the file holds, or nothing before its first run made it: the window
// starts on a station that has tested nothing yet.
std::vector<RecordedRun> keptHistory(const std::string& path,
                                     const cli::records::HistoryFilter& filter) {
    if (!std::filesystem::exists(std::filesystem::u8path(path)))
        return {};
    return cli::records::history(path, filter);
}

} // namespace

StationDay stationDay(const std::vector<RecordedRun>& units, const std::vector<RecordedRun>& recent,
                      const std::string& dayStart, std::size_t chartRuns) {
    StationDay day;
    DayCounts& counts = day.counts;
    std::map<std::string, RunStatus> lastVerdict; // of each serial, so far
    std::set<std::string> unitsToday;
    // Oldest first: a run is a retest by what came before it, and a unit's
    // first run of the day is the one that counts for its first pass.
    for (auto run = units.rbegin(); run != units.rend(); ++run) {
        const auto before = lastVerdict.find(run->serial);
        if (run->started >= dayStart && unitsToday.insert(run->serial).second) {
            ++counts.units;
            counts.firstPassed += run->status == RunStatus::Pass;
        }
        if (!hasVerdict(*run))
            continue;
        if (run->started >= dayStart) {
            ++counts.tested;
            ++(run->status == RunStatus::Pass ? counts.passed : counts.failed);
            counts.retests += before != lastVerdict.end() && before->second == RunStatus::Fail;
        }
        lastVerdict[run->serial] = run->status;
    }
    auto first = [&](std::size_t n) {
        return std::vector<RecordedRun>(
            recent.begin(),
            recent.begin() + static_cast<std::ptrdiff_t>(std::min(n, recent.size())));
    };
    day.lastTen = first(kLastRuns);
    const std::vector<RecordedRun> charted = first(chartRuns);
    day.chartedRuns = charted.size();
    day.mostFailing = mostFailing(charted);
    return day;
}

bool isRetest(const std::vector<RecordedRun>& runs, const std::string& serial) {
    for (const RecordedRun& run : runs)
        if (run.serial == serial && hasVerdict(run))
            return run.status == RunStatus::Fail;
    return false;
}

StationDay readStationDay(const std::string& path, const std::string& station,
                          const std::string& dayStart, std::size_t chartRuns) {
    cli::records::HistoryFilter units, recent;
    units.station = recent.station = station;
    units.unitsSince = dayStart;
    recent.newest = std::max(kLastRuns, chartRuns);
    return stationDay(keptHistory(path, units), keptHistory(path, recent), dayStart, chartRuns);
}

bool readRetest(const std::string& path, const std::string& station, const std::string& serial) {
    cli::records::HistoryFilter ofSerial;
    ofSerial.serial = serial;
    ofSerial.station = station;
    return isRetest(keptHistory(path, ofSerial), serial);
}

} // namespace station
