#include "plant_store.h"

#include "core/base/errors.h"
#include "core/plant/plant_schema.h"
#include "core/plant/postgres.h"
#include "core/records/history_output.h"
#include "core/records/read_back.h"
#include "core/records/run_message.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace cli::plant {
namespace {

// The batch as one JSON parameter, the runs taken apart by the server: one
// round trip for a thousand runs.
const char* const kStore = R"sql(
    WITH given AS (
        SELECT * FROM json_to_recordset($1::json) AS g (
            uuid uuid, serial text, part text, station text, operator text, started timestamptz,
            ended timestamptz, settle_ms integer, channels text, patterns integer, status text,
            reason text, faults json, codes text, reads integer, trace jsonb)),
    new AS (
        INSERT INTO runs (uuid, serial, part, station, operator, started, ended, settle_ms,
                          channels, patterns, status, reason)
        SELECT uuid, serial, part, station, operator, started, ended, settle_ms, channels,
               patterns, status, reason FROM given
        ON CONFLICT (uuid) DO NOTHING
        RETURNING uuid),
    trace_rows AS (
        INSERT INTO traces (run, codes, reads, patterns)
        SELECT g.uuid, g.codes, g.reads, g.trace
        FROM given g JOIN new n ON n.uuid = g.uuid WHERE g.codes IS NOT NULL),
    fault_rows AS (
        INSERT INTO faults (run, position, kind, channels, wired, why, flickers)
        SELECT g.uuid, f.position, f.fault->>'kind',
               ARRAY(SELECT json_array_elements_text(f.fault->'channels')::integer),
               coalesce(f.fault->>'wired', ''), coalesce(f.fault->>'why', ''),
               coalesce((f.fault->>'flickers')::integer, 0)
        FROM given g JOIN new n ON n.uuid = g.uuid,
             json_array_elements(g.faults) WITH ORDINALITY AS f (fault, position))
    SELECT uuid FROM new
    )sql";

// The filter as conditions on the runs (r), its values as $1, $2, ...
std::pair<std::string, std::vector<Parameter>> where(const records::HistoryFilter& filter) {
    std::string sql = "WHERE true";
    std::vector<Parameter> values;
    auto add = [&](const std::string& before, const std::string& value,
                   const std::string& after = "") {
        values.push_back(value);
        sql += " AND " + before + "$" + std::to_string(values.size()) + after;
    };
    if (filter.serial)
        add("r.serial = ", *filter.serial);
    if (filter.station)
        add("r.station = ", *filter.station);
    if (filter.since)
        add("r.started >= timezone('UTC', ", *filter.since, "::timestamp)");
    if (filter.status)
        add("r.status = ", records::nameOf(*filter.status));
    if (filter.unitsSince)
        add("r.serial IN (SELECT u.serial FROM runs u WHERE u.station = r.station AND "
            "u.started >= timezone('UTC', ",
            *filter.unitsSince, "::timestamp))");
    if (filter.newest)
        sql = "WHERE r.uuid IN (SELECT r.uuid FROM runs r " + sql +
              " ORDER BY r.started DESC, r.uuid LIMIT " + std::to_string(*filter.newest) + ")";
    return {sql, values};
}

void refuseUnknownStatusIn(Postgres& db, const std::string& conditions,
                           const std::vector<Parameter>& values) {
    Rows rows = db.exec(records::firstUnknownStatus(conditions), values);
    records::refuseUnknownStatus(rows);
}

constexpr const char* kUtc = "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'";

// The runs and their faults as the stations keep them, in the order
// RunColumn names them: what goes after FROM picks them.
const std::string kRunColumns = std::string("SELECT r.uuid, r.serial, r.part, r.station, "
                                            "r.operator, to_char(r.started AT TIME ZONE 'UTC', ") +
                                kUtc + "), to_char(r.ended AT TIME ZONE 'UTC', " + kUtc +
                                "), r.settle_ms, r.channels, r.patterns, r.status, r.reason, 0, "
                                "t.codes, t.reads, t.patterns::text, "
                                "NULL, NULL, NULL, NULL, 0, '', "
                                "f.kind, array_to_string(f.channels, ',', ''), f.wired, f.why, "
                                "f.flickers FROM ";

// A UUID as the server writes it.
std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Whether two runs are the same run, as a station would send it.
bool same(records::RecordedRun a, records::RecordedRun b) {
    a.uuid = lower(a.uuid);
    b.uuid = lower(b.uuid);
    return records::runMessage(a) == records::runMessage(b);
}

} // namespace

std::vector<bool> storeRuns(Postgres& db, const std::vector<records::RecordedRun>& runs) {
    nlohmann::ordered_json batch = nlohmann::ordered_json::array();
    std::map<std::string, int> times; // a run sent twice in one batch: once
    for (const records::RecordedRun& run : runs)
        if (++times[lower(run.uuid)] == 1)
            batch.push_back(records::runJson(run));
    PgTransaction transaction(db);
    transaction.durable(); // confirmed to its station, which then forgets it
    const Rows added = db.exec(kStore, {batch.dump()});
    transaction.commit();
    std::set<std::string> fresh;
    for (int i = 0; i < added.count(); ++i)
        fresh.insert(added.text(i, 0));
    // What was there before, or twice in the batch, compared with what the
    // store now holds under the identity.
    std::vector<std::string> doubtful;
    for (const auto& [uuid, count] : times)
        if (count > 1 || fresh.count(uuid) == 0)
            doubtful.push_back(uuid);
    std::map<std::string, records::RecordedRun> held;
    if (!doubtful.empty()) {
        nlohmann::json list = doubtful;
        Rows rows = db.exec(kRunColumns + "runs r LEFT JOIN traces t ON t.run = r.uuid LEFT JOIN "
                                          "faults f ON f.run = r.uuid WHERE "
                                          "r.uuid IN (SELECT json_array_elements_text($1::json)"
                                          "::uuid) ORDER BY r.uuid, f.position",
                            {list.dump()});
        for (records::RecordedRun& run : records::runsFrom(rows))
            held[run.uuid] = std::move(run);
    }
    std::vector<bool> kept;
    for (const records::RecordedRun& run : runs) {
        const std::string uuid = lower(run.uuid);
        const auto there = held.find(uuid);
        kept.push_back(there == held.end() ? fresh.count(uuid) != 0 : same(there->second, run));
    }
    return kept;
}

std::vector<records::RecordedRun> plantHistory(Postgres& db, const records::HistoryFilter& filter) {
    auto [conditions, values] = where(filter);
    Rows rows = db.exec(
        kRunColumns +
            "runs r LEFT JOIN traces t ON t.run = r.uuid LEFT JOIN faults f ON f.run = r.uuid " +
            conditions + " ORDER BY r.started DESC, r.uuid, f.position",
        values);
    return records::runsFrom(rows);
}

records::FaultCounts plantFaultCounts(Postgres& db, const records::HistoryFilter& filter) {
    auto [conditions, values] = where(filter);
    refuseUnknownStatusIn(db, conditions, values);
    const std::int64_t runs =
        db.exec("SELECT count(*) FROM runs r " + conditions, values).integer(0, 0);
    // Runs, not entries, as in a station's file.
    const std::string from = "FROM runs r JOIN faults f ON f.run = r.uuid, "
                             "unnest(f.channels) AS c (channel) " +
                             conditions;
    Rows byKind = db.exec("SELECT c.channel, f.kind, count(DISTINCT f.run) " + from +
                              " GROUP BY c.channel, f.kind",
                          values);
    Rows totals =
        db.exec("SELECT c.channel, count(DISTINCT f.run) " + from + " GROUP BY c.channel", values);
    return records::faultCountsFrom(runs, byKind, totals);
}

std::vector<records::StationCounts> plantStationCounts(Postgres& db,
                                                       const records::HistoryFilter& filter) {
    auto [conditions, values] = where(filter);
    refuseUnknownStatusIn(db, conditions, values);
    // A unit's first run found by the smallest of its start time (in
    // milliseconds, as stations keep it; exact in a double) with a pass added
    // as a last digit: one hash aggregation over the runs, no sort of a week's
    // runs by unit and time. (The last digit counted up from below, as a
    // remainder of a time before 1970 is negative.)
    Rows rows = db.exec(
        "WITH units AS (SELECT r.station, count(*) AS runs, "
        "count(*) FILTER (WHERE r.status = 'pass') AS passed, "
        "count(*) FILTER (WHERE r.status = 'fail') AS failed, "
        "min(round(date_part('epoch', r.started) * 1000) * 10 + "
        "CASE WHEN r.status = 'pass' THEN 1 ELSE 0 END) AS first, "
        "max(round(date_part('epoch', r.started) * 1000) * 10 + "
        "CASE WHEN r.status = 'pass' THEN 0 ELSE 1 END) AS last FROM runs r " +
            conditions +
            " GROUP BY r.station, r.serial) "
            "SELECT station, sum(runs), sum(passed), sum(failed), sum(runs - passed - failed), "
            "count(*), count(*) FILTER (WHERE (first::bigint % 10 + 10) % 10 = 1), "
            "count(*) FILTER (WHERE (last::bigint % 10 + 10) % 10 = 0) FROM units GROUP "
            "BY station "
            "ORDER BY station",
        values);
    return records::stationCountsFrom(rows);
}

PlantStore::PlantStore(const std::string& db, const char* program) : db_(db, program) {
    requirePlantLayout(db_);
    snapshot_.emplace(db_, PgTransaction::Kind::ReadSnapshot);
    // A report groups up to millions of runs: in memory rather than spilled to
    // disk, and not worth compiling (JIT) for one run.
    db_.exec("SET LOCAL work_mem = '64MB'");
    db_.exec("SET LOCAL jit = off");
}

} // namespace cli::plant
