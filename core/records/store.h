#pragma once
// The self-test's runs as a test station keeps them: a row a run, a row a
// fault, in an SQLite file.

#include "convert/named.h"
#include "core/plan/step_record.h"
#include "core/selftest/junit.h"
#include "core/selftest/report.h"
#include "core/selftest/trace.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli::records {

enum class RunStatus { Pass, Fail, Aborted, Error };
// As the records keep it (its first layout's CHECK lists the same names), and
// as the station's list of runs says it.
inline constexpr convert::Named<RunStatus> kRunStatusNames[] = {
    {RunStatus::Pass, "pass", "合格"},
    {RunStatus::Fail, "fail", "不合格"},
    {RunStatus::Aborted, "aborted", "已取消"},
    {RunStatus::Error, "error", "出错"}};
inline std::string nameOf(RunStatus status) {
    return convert::nameIn(kRunStatusNames, status);
}

struct RecordedRun : selftest::Identity {
    std::int64_t id = 0;        // given when recorded
    std::string uuid;           // its identity across the plant, drawn when it started
    std::string started, ended; // UTC, ISO 8601 to the millisecond
    long settleMs = 0;
    std::string channels; // "1-16,20"
    long patterns = 0;    // written before it ended
    RunStatus status = RunStatus::Pass;
    std::string reason; // why an aborted or error run ended
    std::vector<selftest::Fault> faults;
    // The codes the test gave the lines, how often it read each pattern, and
    // every pattern it drove with what it read: none for a run kept before
    // they were (records layout 3, plant layout 2, or a station that sends none).
    std::optional<selftest::Trace> trace;
    // A plan's run: which plan, and its steps (none for a self-test's run).
    std::optional<plan::PlanIdentity> plan;
    std::vector<plan::RecordedStep> steps;
    // One of a row of runs at its station that found the same fault on
    // different units: more likely the station's fixture than the units.
    bool suspectFixture = false;
    // The operator who had a unit sent to repair tested again, or "".
    std::string overruledBy;
};

// The run and its faults in one transaction: all of it or nothing. Makes the
// file where missing. Throws RecordFailed naming the file and the reason.
void recordRun(const std::string& path, const RecordedRun& run);

struct HistoryFilter {
    std::optional<std::string> serial;
    std::optional<std::string> station;
    std::optional<std::string> since; // runs started at or after it (UTC, ISO 8601)
    std::optional<RunStatus> status;
    bool pending = false; // only runs the plant's store has not confirmed
    // Only the runs of serials that have a run at or after it at their
    // station (UTC, ISO 8601): a day's units with what came before them.
    std::optional<std::string> unitsSince;
    std::optional<std::size_t> newest; // only the newest of the runs the rest picks
};

// The runs that pass the filter, newest first, with their faults. The file
// must exist.
std::vector<RecordedRun> history(const std::string& path, const HistoryFilter& filter);

struct ChannelFaults {
    int channel = 0;
    long total = 0;                    // runs that found it faulty
    std::map<std::string, long> kinds; // by the kind's name ("stuck-0", ...)
};
struct FaultCounts {
    long runs = 0;                       // runs that pass the filter
    std::vector<ChannelFaults> channels; // those found faulty, most often first
};

// Per channel, how often the runs that pass the filter found it faulty, and
// in which kinds: the line's weak spots.
FaultCounts faultCounts(const std::string& path, const HistoryFilter& filter);

struct StationCounts {
    std::string station;
    long runs = 0, passed = 0, failed = 0, unfinished = 0; // aborted or error
    long units = 0;                                        // serials tested
    long firstPass = 0; // units whose first run in the period passed
    long finalPass = 0; // units whose last run in the period passed (a tie: not)
};
// Per station, in the order of their names, the runs that pass the filter.
std::vector<StationCounts> stationCounts(const std::string& path, const HistoryFilter& filter);

// The runs the plant's store has not confirmed yet, oldest first, at most
// `limit`; those sent to the broker at or after `sentBefore` (UTC, ISO 8601)
// and not after now left out where given: sent a moment ago, they are on
// their way.
std::vector<RecordedRun> undelivered(const std::string& path, std::size_t limit,
                                     const std::optional<std::string>& sentBefore = {});
// How many runs the plant's store has not confirmed yet.
long countUndelivered(const std::string& path);
// Notes the runs (by identity) as sent to the broker at `when`.
void markSent(const std::string& path, const std::vector<std::string>& uuids,
              const std::string& when);
// Notes the runs (by identity) as confirmed by the plant's store at `when`;
// how many of them were not confirmed before (others' identities are ignored).
long markDelivered(const std::string& path, const std::vector<std::string>& uuids,
                   const std::string& when);

// Marks the runs (by identity) as suspecting the station's fixture.
void markSuspect(const std::string& path, const std::vector<std::string>& uuids);

// "1-16,20" for 1..16 and 20.
std::string channelRanges(const std::vector<int>& channels);

} // namespace cli::records
