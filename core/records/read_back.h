#pragma once
// What a store of runs (a station's SQLite file, the plant's PostgreSQL)
// keeps as names and lists, read back into the values they name.

#include "convert/named.h"
#include "core/base/errors.h"
#include "core/records/store.h"
#include "core/selftest/report.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli::records {

// A name read back that none of the values has (another program wrote the
// store): an error, never read as one of them: an unknown status is no pass.
RecordFailed unknownName(const char* what, const std::string& name);

// The value the table names so, or RecordFailed.
template <typename E, std::size_t N>
E fromName(const std::string& name, const convert::Named<E> (&table)[N], const char* what) {
    if (const std::optional<E> value = convert::valueNamed(table, name))
        return *value;
    throw unknownName(what, name);
}

// "17,18" as channel numbers.
std::vector<int> channelList(const std::string& text);

// A fault from its kind, channels, wiring and reason as kept.
selftest::Fault faultFromNames(const std::string& kind, const std::string& channels,
                               const std::string& wired, const std::string& why,
                               long long flickers);

// A column that should hold a whole number and holds NULL or `text`.
RecordFailed notWhole(int column, bool null, const std::string& text);

// A statement's rows as either store gives them, one at a time.
class ResultRows {
public:
    virtual ~ResultRows() = default;
    // To the next row (true), or past the last (false).
    virtual bool next() = 0;
    virtual std::string text(int column) const = 0;
    // A whole number, or none where the value is NULL or not whole.
    virtual std::optional<std::int64_t> whole(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    // A whole number, or RecordFailed naming the column.
    std::int64_t integer(int column) const;
    // A whole number from 0 to kMostCount (a count, a time), or RecordFailed:
    // a narrowing cast would make another number of it.
    long count(int column) const;
    // A channel of the card, or RecordFailed.
    int channel(int column) const;
    static constexpr long kMostCount = 2147483647; // what a long holds everywhere
};

// The first status this program does not know among the runs (r) a filter's
// WHERE `conditions` picks: counts over such a run would count it as nothing
// or as a pass, so a store's counts first read it and refuse it.
std::string firstUnknownStatus(const std::string& conditions);
void refuseUnknownStatus(ResultRows& rows);

// The columns of a run's SELECT, in both stores, a run's faults in the rows
// after it (the fault's columns NULL for a run without one).
enum RunColumn : int {
    kRunUuid,
    kRunSerial,
    kRunPart,
    kRunStation,
    kRunOperator,
    kRunStarted,
    kRunEnded,
    kRunSettleMs,
    kRunChannels,
    kRunPatterns,
    kRunStatus,
    kRunReason,
    kRunId,    // the station's number of it; 0 in the plant's store
    kRunCodes, // the codes' name; NULL where not kept
    kRunReads, // how often each pattern was read; NULL where not kept
    kRunTrace, // the patterns' JSON; NULL where not kept (the three from the traces)
    kRunPlan,  // the plan's name, version and digest; NULL for a self-test's run
    kRunPlanVersion,
    kRunPlanDigest,
    kRunSteps,     // the steps' JSON (plan_steps.h), NULL for a self-test's run
    kRunSuspect,   // 1 where the run suspects the station's fixture
    kRunOverruled, // who overruled a repair, or ""
    kFaultKind,
    kFaultChannels,
    kFaultWired,
    kFaultWhy,
    kFaultFlickers,
};

// The runs the rows give, in their order.
std::vector<RecordedRun> runsFrom(ResultRows& rows);

// From "channel, kind, runs" rows and "channel, runs" rows: the counts per
// channel, most often faulty first, of `runs` runs.
FaultCounts faultCountsFrom(std::int64_t runs, ResultRows& byKind, ResultRows& totals);

// From "station, runs, passed, failed, unfinished, units, first-pass,
// final-pass" rows.
std::vector<StationCounts> stationCountsFrom(ResultRows& rows);

} // namespace cli::records
