#include "plant_schema.h"

#include "core/base/errors.h"
#include "core/plant/postgres.h"

#include <iterator>
#include <string>

namespace cli::plant {
namespace {

constexpr const char* kApplication = "dio-cli plant records";
// The same number for every collector, of this release and every other, so that
// they take turns at the layout: never change it.
constexpr const char* kLayoutLock = "SELECT pg_advisory_xact_lock(4469016)";

// Step n takes layout n to n + 1; never changed once released.
const char* const kSteps[] = {
    // 1: a row a run (its identity the station's), a row a fault; the views a
    // dashboard reads.
    R"sql(
    CREATE TABLE dio_layout (application text NOT NULL, version integer NOT NULL);
    CREATE TABLE runs (
        uuid uuid PRIMARY KEY,
        serial text NOT NULL,
        part text NOT NULL,
        station text NOT NULL,
        operator text NOT NULL,
        started timestamptz NOT NULL,
        ended timestamptz NOT NULL,
        settle_ms integer NOT NULL,
        channels text NOT NULL,
        patterns integer NOT NULL,
        status text NOT NULL CHECK (status IN ('pass', 'fail', 'aborted', 'error')),
        reason text NOT NULL,
        stored timestamptz NOT NULL DEFAULT now()
    );
    CREATE INDEX runs_by_serial ON runs (serial, started);
    CREATE INDEX runs_by_station ON runs (station, started);
    CREATE INDEX runs_by_start ON runs (started);
    CREATE TABLE faults (
        run uuid NOT NULL REFERENCES runs ON DELETE CASCADE,
        position integer NOT NULL,
        kind text NOT NULL,
        channels integer[] NOT NULL,
        wired text NOT NULL,
        why text NOT NULL,
        flickers integer NOT NULL,
        PRIMARY KEY (run, position)
    );
    -- Days in the reader's time zone (SET TimeZone); a unit's first run of
    -- the day at a station decides its first-pass yield.
    CREATE VIEW station_days AS
    WITH day_runs AS (
        SELECT station, serial, status, (started AT TIME ZONE current_setting('TimeZone'))::date AS day,
               started, uuid
        FROM runs),
    numbered AS (
        SELECT *, row_number() OVER (PARTITION BY station, day, serial ORDER BY started, uuid) AS nth
        FROM day_runs)
    SELECT station, day, count(*) AS runs,
           count(*) FILTER (WHERE status = 'pass') AS passed,
           count(*) FILTER (WHERE status = 'fail') AS failed,
           count(*) FILTER (WHERE status IN ('aborted', 'error')) AS unfinished,
           count(*) FILTER (WHERE nth = 1) AS units,
           count(*) FILTER (WHERE nth = 1 AND status = 'pass') AS first_pass,
           round(count(*) FILTER (WHERE nth = 1 AND status = 'pass')::numeric /
                 count(*) FILTER (WHERE nth = 1), 4) AS first_pass_yield
    FROM numbered GROUP BY station, day;
    -- A row a channel a fault found it in: counted over a period by a dashboard.
    CREATE VIEW channel_faults AS
    SELECT DISTINCT r.uuid AS run, r.station, r.started, c.channel, f.kind
    FROM runs r JOIN faults f ON f.run = r.uuid, unnest(f.channels) AS c (channel);
    CREATE VIEW serial_history AS
    SELECT r.serial, r.started, r.ended, r.station, r.part, r.operator, r.status, r.reason,
           (SELECT string_agg(f.kind || CASE WHEN f.wired <> '' THEN ' ' || f.wired ELSE '' END ||
                              ' ' || array_to_string(f.channels, ','), '; ' ORDER BY f.position)
            FROM faults f WHERE f.run = r.uuid) AS faults,
           r.uuid
    FROM runs r;
    )sql",
    // 2: a unit's runs in one millisecond numbered as a station's file numbers
    // them (the run that did not pass first), so the view and history agree.
    R"sql(
    CREATE OR REPLACE VIEW station_days AS
    WITH day_runs AS (
        SELECT station, serial, status, (started AT TIME ZONE current_setting('TimeZone'))::date AS day,
               started, uuid
        FROM runs),
    numbered AS (
        SELECT *, row_number() OVER (PARTITION BY station, day, serial
                                     ORDER BY started, status = 'pass', uuid) AS nth
        FROM day_runs)
    SELECT station, day, count(*) AS runs,
           count(*) FILTER (WHERE status = 'pass') AS passed,
           count(*) FILTER (WHERE status = 'fail') AS failed,
           count(*) FILTER (WHERE status IN ('aborted', 'error')) AS unfinished,
           count(*) FILTER (WHERE nth = 1) AS units,
           count(*) FILTER (WHERE nth = 1 AND status = 'pass') AS first_pass,
           round(count(*) FILTER (WHERE nth = 1 AND status = 'pass')::numeric /
                 count(*) FILTER (WHERE nth = 1), 4) AS first_pass_yield
    FROM numbered GROUP BY station, day;
    )sql",
    // 3: a row a run for the codes the lines were given, how often each pattern
    // was read, and every pattern driven with what it read, as the station
    // kept them (in a table of their own, so that the runs' rows stay small); NULL for the runs
    // stored
    // before and
    // those of stations that do not send them.
    R"sql(
    CREATE TABLE traces (
        run uuid PRIMARY KEY REFERENCES runs ON DELETE CASCADE,
        codes text NOT NULL,
        reads integer NOT NULL,
        patterns jsonb NOT NULL
    );
    )sql",
};
// A step a layout: a version without its step, or a step without its version, is a build error.
static_assert(std::size(kSteps) == kPlantSchemaVersion);

bool hasTable(Postgres& db, const std::string& name) {
    return db.exec("SELECT to_regclass($1) IS NOT NULL", {name}).text(0, 0) == "t";
}

// The layout found; RecordFailed for another program's database or a newer one.
int layoutOf(Postgres& db) {
    if (!hasTable(db, "dio_layout")) {
        // Anything another program keeps, in any schema of the database.
        Rows other = db.exec("SELECT n.nspname || '.' || c.relname FROM pg_class c "
                             "JOIN pg_namespace n ON n.oid = c.relnamespace "
                             "WHERE c.relkind IN ('r', 'p', 'v', 'm', 'f', 'S') "
                             "AND n.nspname NOT IN ('pg_catalog', 'information_schema') "
                             "AND n.nspname NOT LIKE 'pg\\_%' ORDER BY 1 LIMIT 1");
        if (other.count() != 0)
            throw RecordFailed(db.where() + " 不是 dio-cli 的记录库（已有别的表：" +
                               other.text(0, 0) + "），未改动");
        return 0;
    }
    Rows marker = db.exec("SELECT application, version FROM dio_layout");
    if (marker.count() != 1 || marker.text(0, 0) != kApplication)
        throw RecordFailed(db.where() + " 不是 dio-cli 的记录库（dio_layout 不是它的），未改动");
    const int found = static_cast<int>(marker.integer(0, 1));
    if (found > kPlantSchemaVersion)
        throw RecordFailed(db.where() + " 是更新的 dio-cli 建的（第 " + std::to_string(found) +
                           " 版，本程序只认到第 " + std::to_string(kPlantSchemaVersion) +
                           " 版）：请用新版的 dio-cli，库未改动");
    return found;
}

} // namespace

void preparePlantSchema(Postgres& db) {
    PgTransaction transaction(db);
    db.exec(kLayoutLock);
    const int found = layoutOf(db);
    if (found >= kPlantSchemaVersion)
        return;
    transaction.durable();
    for (int step = found; step < kPlantSchemaVersion; ++step)
        db.exec(kSteps[step]);
    db.exec("DELETE FROM dio_layout");
    db.exec("INSERT INTO dio_layout VALUES ($1, $2)",
            {kApplication, std::to_string(kPlantSchemaVersion)});
    transaction.commit();
}

void requirePlantLayout(Postgres& db) {
    const int found = layoutOf(db);
    if (found == 0)
        throw RecordFailed(db.where() + " 还没有 dio-cli 的记录（dio-cli collect 会建好）");
    if (found != kPlantSchemaVersion)
        throw RecordFailed(db.where() + " 是旧版的 dio-cli 建的（第 " + std::to_string(found) +
                           " 版）：dio-cli collect 启动时会把它升级到第 " +
                           std::to_string(kPlantSchemaVersion) + " 版");
}

} // namespace cli::plant
