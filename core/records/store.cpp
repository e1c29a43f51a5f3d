#include "store.h"

#include "convert/named.h"
#include "core/base/errors.h"
#include "core/base/run_identity.h"
#include "core/records/plan_steps.h"
#include "core/records/read_back.h"
#include "core/records/schema.h"
#include "core/records/sqlite.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

namespace cli::records {
namespace {

std::string commaList(const std::vector<int>& channels) {
    std::string text;
    for (int channel : channels)
        text += (text.empty() ? "" : ",") + std::to_string(channel);
    return text;
}

// The counts per station: the runs (r) filtered by what goes between the two
// parts. A station's file is small: its units' runs numbered by time, in a tie
// the run that did not pass first, as the plant counts.
constexpr const char* kStationCountsSql =
    "WITH numbered AS (SELECT r.station, r.serial, r.status, row_number() OVER "
    "(PARTITION BY r.station, r.serial ORDER BY r.started, r.status = 'pass', r.uuid) AS nth, "
    "row_number() OVER (PARTITION BY r.station, r.serial ORDER BY r.started DESC, "
    "r.status = 'pass', r.uuid) AS last FROM runs r ";
constexpr const char* kStationCountsEnd =
    ") SELECT station, count(*), "
    "sum(CASE WHEN status = 'pass' THEN 1 ELSE 0 END), "
    "sum(CASE WHEN status = 'fail' THEN 1 ELSE 0 END), "
    "sum(CASE WHEN status IN ('aborted', 'error') THEN 1 ELSE 0 END), "
    "sum(CASE WHEN nth = 1 THEN 1 ELSE 0 END), "
    "sum(CASE WHEN nth = 1 AND status = 'pass' THEN 1 ELSE 0 END), "
    "sum(CASE WHEN last = 1 AND status = 'pass' THEN 1 ELSE 0 END) "
    "FROM numbered GROUP BY station ORDER BY station";

// The filter as SQL conditions on the runs (r), their values bound in order:
// written out rather than "?1 IS NULL OR ...", so that SQLite picks the index.
std::pair<std::string, std::vector<std::string>> where(const HistoryFilter& filter) {
    std::string sql = "WHERE 1";
    std::vector<std::string> values;
    auto add = [&](const std::string& condition, const std::string& value) {
        sql += " AND " + condition;
        values.push_back(value);
    };
    if (filter.serial)
        add("r.serial = ?", *filter.serial);
    if (filter.since)
        add("r.started >= ?", *filter.since);
    if (filter.station)
        add("r.station = ?", *filter.station);
    if (filter.status)
        add("r.status = ?", nameOf(*filter.status));
    if (filter.pending)
        sql += " AND r.delivered IS NULL";
    if (filter.unitsSince)
        add("r.serial IN (SELECT u.serial FROM runs u WHERE u.started >= ? AND "
            "u.station = r.station)",
            *filter.unitsSince);
    if (filter.newest)
        sql = "WHERE r.id IN (SELECT r.id FROM runs r " + sql +
              " ORDER BY r.started DESC, r.uuid LIMIT " + std::to_string(*filter.newest) + ")";
    return {sql, values};
}

// A run's columns in the order RunColumn names them.
const char* const kRunColumns =
    "SELECT r.uuid, r.serial, r.part, r.station, r.operator, r.started, r.ended, r.settle_ms, "
    "r.channels, r.patterns, r.status, r.reason, r.id, t.codes, t.reads, t.patterns, "
    "r.plan, r.plan_version, r.plan_digest, "
    "CASE WHEN r.plan IS NOT NULL THEN (SELECT json_group_array(json_object('name', s.name, "
    "'pass', s.pass, 'outcome', s.outcome, 'measured_ms', s.measured_ms, 'limit_ms', "
    "s.limit_ms, 'findings', json(s.findings))) FROM (SELECT * FROM steps WHERE run = r.id "
    "ORDER BY position) s) END, r.suspect_fixture, r.overruled_by, "
    "f.kind, f.channels, f.wired, f.why, f.flickers "
    "FROM runs r LEFT JOIN traces t ON t.run = r.id LEFT JOIN faults f ON f.run = r.id ";

std::vector<RecordedRun> historyIn(Database& db, const HistoryFilter& filter) {
    const auto [conditions, values] = where(filter);
    // One pass over the runs and their faults: a run's rows come together,
    // newest run first.
    Statement rows =
        db.prepare(kRunColumns + conditions + " ORDER BY r.started DESC, r.uuid, f.id");
    rows.bindAll(values);
    return runsFrom(rows);
}

// The same change to each run named by its identity; how many rows changed.
long updateEach(const std::string& path, const std::string& sql,
                const std::vector<std::string>& uuids, const std::string& when) {
    Database db(path, Database::Mode::Existing);
    prepareSchema(db);
    Transaction transaction(db);
    Statement update = db.prepare(sql);
    long changed = 0;
    for (const std::string& uuid : uuids) {
        update.bind(1, when).bind(2, uuid).run();
        changed += db.changes();
    }
    transaction.commit();
    return changed;
}

void refuseUnknownStatusIn(Database& db, const std::string& conditions,
                           const std::vector<std::string>& values) {
    Statement rows = db.prepare(firstUnknownStatus(conditions));
    rows.bindAll(values);
    refuseUnknownStatus(rows);
}

FaultCounts faultCountsIn(Database& db, const HistoryFilter& filter) {
    const auto [conditions, values] = where(filter);
    refuseUnknownStatusIn(db, conditions, values);
    Statement runs = db.prepare("SELECT COUNT(*) FROM runs r " + conditions);
    runs.bindAll(values);
    const std::int64_t counted = runs.step() ? runs.integer(0) : 0;
    // Runs, not entries: a crossed pair names each channel twice in one run,
    // a stuck line may be named again as undecided.
    const std::string from = "FROM fault_channels c JOIN faults f ON f.id = c.fault "
                             "JOIN runs r ON r.id = f.run " +
                             conditions;
    Statement byKind = db.prepare("SELECT c.channel, f.kind, COUNT(DISTINCT f.run) " + from +
                                  " GROUP BY c.channel, f.kind");
    byKind.bindAll(values);
    Statement totals =
        db.prepare("SELECT c.channel, COUNT(DISTINCT f.run) " + from + " GROUP BY c.channel");
    totals.bindAll(values);
    return faultCountsFrom(counted, byKind, totals);
}

// Reads the records where they lie: written when it can be (an older layout
// is upgraded first), else read as they are, on read-only media or in a
// folder this user cannot write, where the layout must be this program's.
template <typename Read> auto reading(const std::string& path, Read read) {
    try {
        Database db(path, Database::Mode::Existing);
        prepareSchema(db);
        return read(db);
    } catch (const CannotWrite&) {
    }
    Database db(path, Database::Mode::AsItIs);
    requireLayout(db);
    return read(db);
}

} // namespace

std::string channelRanges(const std::vector<int>& channels) {
    std::string text;
    for (std::size_t i = 0; i < channels.size();) {
        std::size_t last = i;
        while (last + 1 < channels.size() && channels[last + 1] == channels[last] + 1)
            ++last;
        text += (text.empty() ? "" : ",") + std::to_string(channels[i]);
        if (last > i)
            text += "-" + std::to_string(channels[last]);
        i = last + 1;
    }
    return text;
}

void recordRun(const std::string& path, const RecordedRun& run) {
    Database db(path, Database::Mode::Create);
    prepareSchema(db);
    Transaction transaction(db);
    Statement insert =
        db.prepare("INSERT INTO runs (serial, part, station, operator, started, ended, settle_ms, "
                   "channels, patterns, status, reason, uuid, plan, plan_version, plan_digest, "
                   "suspect_fixture, overruled_by) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, run.serial)
        .bind(2, run.part)
        .bind(3, run.station)
        .bind(4, run.operatorName)
        .bind(5, run.started)
        .bind(6, run.ended)
        .bind(7, run.settleMs)
        .bind(8, run.channels)
        .bind(9, run.patterns)
        .bind(10, nameOf(run.status))
        .bind(11, run.reason)
        .bind(12, run.uuid.empty() ? newRunIdentity() : run.uuid)
        .bind(16, run.suspectFixture ? 1 : 0)
        .bind(17, run.overruledBy);
    if (run.plan)
        insert.bind(13, run.plan->name).bind(14, run.plan->version).bind(15, run.plan->digest);
    insert.run();
    const std::int64_t id = db.lastRowId();
    Statement step = db.prepare("INSERT INTO steps (run, position, name, pass, outcome, "
                                "measured_ms, limit_ms, findings) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    const nlohmann::ordered_json steps = stepsJson(run.steps);
    for (std::size_t i = 0; i < run.steps.size(); ++i) {
        const plan::RecordedStep& s = run.steps[i];
        step.bind(1, id)
            .bind(2, static_cast<std::int64_t>(i))
            .bind(3, s.name)
            .bind(4, s.pass)
            .bind(5, convert::nameIn(plan::kOutcomeNames, s.outcome))
            .bind(8, steps[i]["findings"].dump());
        if (s.measuredMs)
            step.bind(6, static_cast<std::int64_t>(*s.measuredMs));
        if (s.limitMs)
            step.bind(7, static_cast<std::int64_t>(*s.limitMs));
        step.run();
    }
    if (run.trace)
        db.prepare("INSERT INTO traces (run, codes, reads, patterns) VALUES (?, ?, ?, ?)")
            .bind(1, id)
            .bind(2, convert::nameIn(selftest::kCodesNames, run.trace->codes))
            .bind(3, run.trace->reads)
            .bind(4, selftest::patternsJson(run.trace->patterns).dump())
            .run();
    Statement fault = db.prepare("INSERT INTO faults (run, kind, channels, wired, why, flickers) "
                                 "VALUES (?, ?, ?, ?, ?, ?)");
    Statement channel = db.prepare("INSERT INTO fault_channels (fault, channel) VALUES (?, ?)");
    for (const selftest::Fault& f : run.faults) {
        fault.bind(1, id)
            .bind(2, selftest::nameOf(f.kind))
            .bind(3, commaList(f.channels))
            .bind(4, selftest::nameOf(f.wired))
            .bind(5, selftest::nameOf(f.why))
            .bind(6, f.flickers)
            .run();
        const std::int64_t faultId = db.lastRowId();
        for (int c : f.channels)
            channel.bind(1, faultId).bind(2, c).run();
    }
    transaction.commit();
}

std::vector<RecordedRun> history(const std::string& path, const HistoryFilter& filter) {
    return reading(path, [&](Database& db) { return historyIn(db, filter); });
}

FaultCounts faultCounts(const std::string& path, const HistoryFilter& filter) {
    return reading(path, [&](Database& db) { return faultCountsIn(db, filter); });
}

std::vector<StationCounts> stationCounts(const std::string& path, const HistoryFilter& filter) {
    return reading(path, [&](Database& db) {
        const auto [conditions, values] = where(filter);
        refuseUnknownStatusIn(db, conditions, values);
        Statement rows =
            db.prepare(std::string(kStationCountsSql) + conditions + kStationCountsEnd);
        rows.bindAll(values);
        return stationCountsFrom(rows);
    });
}

std::vector<RecordedRun> undelivered(const std::string& path, std::size_t limit,
                                     const std::optional<std::string>& sentBefore) {
    return reading(path, [&](Database& db) {
        // The oldest first, as they were made: a dashboard sees a station's
        // runs arrive in their order. One sent "later than now" was sent
        // while the clock was ahead: it is not on its way.
        Statement rows = db.prepare(
            std::string(kRunColumns) +
            "WHERE r.id IN (SELECT id FROM runs WHERE delivered IS NULL AND (?1 IS NULL OR "
            "sent IS NULL OR sent < ?1 OR sent > strftime('%Y-%m-%dT%H:%M:%fZ', 'now')) "
            "ORDER BY id LIMIT ?2) ORDER BY r.id, f.id");
        if (sentBefore)
            rows.bind(1, *sentBefore);
        rows.bind(2, static_cast<std::int64_t>(limit));
        return runsFrom(rows);
    });
}

long countUndelivered(const std::string& path) {
    return reading(path, [&](Database& db) {
        Statement count = db.prepare("SELECT COUNT(*) FROM runs WHERE delivered IS NULL");
        return count.step() ? static_cast<long>(count.integer(0)) : 0L;
    });
}

void markSent(const std::string& path, const std::vector<std::string>& uuids,
              const std::string& when) {
    updateEach(path, "UPDATE runs SET sent = ?1 WHERE uuid = ?2", uuids, when);
}

void markSuspect(const std::string& path, const std::vector<std::string>& uuids) {
    updateEach(path, "UPDATE runs SET suspect_fixture = ?1 WHERE uuid = ?2", uuids, "1");
}

long markDelivered(const std::string& path, const std::vector<std::string>& uuids,
                   const std::string& when) {
    return updateEach(path, "UPDATE runs SET delivered = ?1 WHERE uuid = ?2 AND delivered IS NULL",
                      uuids, when);
}

} // namespace cli::records
