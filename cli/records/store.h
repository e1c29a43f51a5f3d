#pragma once
// The self-test's runs as a test station keeps them: a row a run, a row a
// fault, in an SQLite file.

#include "cli/selftest/junit.h"
#include "cli/selftest/report.h"
#include "convert/named.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace cli::records {

enum class RunStatus { Pass, Fail, Aborted, Error };
// As the records keep it (its first layout's CHECK lists the same names).
inline constexpr convert::Named<RunStatus> kRunStatusNames[] = {{RunStatus::Pass, "pass"},
                                                                {RunStatus::Fail, "fail"},
                                                                {RunStatus::Aborted, "aborted"},
                                                                {RunStatus::Error, "error"}};
inline std::string nameOf(RunStatus status) {
    return convert::nameIn(kRunStatusNames, status);
}

struct RecordedRun : selftest::Identity {
    std::int64_t id = 0;        // given when recorded
    std::string started, ended; // UTC, ISO 8601 to the millisecond
    long settleMs = 0;
    std::string channels; // "1-16,20"
    long patterns = 0;    // written before it ended
    RunStatus status = RunStatus::Pass;
    std::string reason; // why an aborted or error run ended
    std::vector<selftest::Fault> faults;
};

// The run and its faults in one transaction: all of it or nothing. Makes the
// file where missing. Throws RecordFailed naming the file and the reason.
void recordRun(const std::string& path, const RecordedRun& run);

struct HistoryFilter {
    std::optional<std::string> serial;
    std::optional<std::string> since; // runs started at or after it (UTC, ISO 8601)
    std::optional<RunStatus> status;
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

// "1-16,20" for 1..16 and 20.
std::string channelRanges(const std::vector<int>& channels);

} // namespace cli::records
