#include "schema.h"

#include "core/base/errors.h"
#include "core/records/sqlite.h"

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <string>
#include <thread>

namespace cli::records {
namespace {

// "DIO1": marks the file as dio-cli's records, so that another program's
// database named by mistake is not filled with them.
constexpr long kApplicationId = 0x44494f31;

// Step n takes layout n to n + 1. Steps are never changed once released:
// files out there were made by them.
const char* const kSteps[] = {
    // 1: a row a run, a row a fault.
    R"sql(
    CREATE TABLE runs (
        id INTEGER PRIMARY KEY,
        serial TEXT NOT NULL,
        part TEXT NOT NULL,
        station TEXT NOT NULL,
        operator TEXT NOT NULL,
        started TEXT NOT NULL,   -- UTC, ISO 8601 to the millisecond
        ended TEXT NOT NULL,
        settle_ms INTEGER NOT NULL,
        channels TEXT NOT NULL,  -- as --channels takes them: "1-16,20"
        patterns INTEGER NOT NULL,
        status TEXT NOT NULL CHECK (status IN ('pass', 'fail', 'aborted', 'error')),
        reason TEXT NOT NULL     -- why an aborted or error run ended
    );
    CREATE INDEX runs_by_serial ON runs (serial, started);
    CREATE INDEX runs_by_start ON runs (started);
    CREATE TABLE faults (
        id INTEGER PRIMARY KEY,
        run INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
        kind TEXT NOT NULL,
        channels TEXT NOT NULL,  -- "17,18"
        wired TEXT NOT NULL,
        why TEXT NOT NULL,
        flickers INTEGER NOT NULL
    );
    CREATE INDEX faults_by_run ON faults (run);
    )sql",
    // 2: a row a channel of a fault, for the count per channel (--stats);
    // those of the faults already kept made from their channel lists.
    R"sql(
    CREATE TABLE fault_channels (
        fault INTEGER NOT NULL REFERENCES faults (id) ON DELETE CASCADE,
        channel INTEGER NOT NULL
    );
    CREATE INDEX fault_channels_by_fault ON fault_channels (fault);
    INSERT INTO fault_channels (fault, channel)
        SELECT f.id, CAST(c.value AS INTEGER) FROM faults f, json_each('[' || f.channels || ']') c;
    )sql",
    // 3: each run's identity across the plant (a version-4 UUID; those of the
    // runs already kept drawn here), when it was last sent to the plant's
    // broker and when the plant's store confirmed it (NULL: not yet).
    R"sql(
    ALTER TABLE runs ADD COLUMN uuid TEXT;
    ALTER TABLE runs ADD COLUMN sent TEXT;
    ALTER TABLE runs ADD COLUMN delivered TEXT;
    UPDATE runs SET uuid = lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' ||
        substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + (random() & 3), 1) ||
        substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)));
    CREATE UNIQUE INDEX runs_by_uuid ON runs (uuid);
    CREATE INDEX runs_undelivered ON runs (id) WHERE delivered IS NULL;
    )sql",
    // 4: a row a run for the codes the lines were given, how often each
    // pattern was read, and every pattern driven with what it read (JSON), so
    // that a run's findings can be worked out again from its own readings;
    // none for the runs kept before. A table of its own: the runs' rows stay
    // small for the scans that count them.
    R"sql(
    CREATE TABLE traces (
        run INTEGER PRIMARY KEY REFERENCES runs (id) ON DELETE CASCADE,
        codes TEXT NOT NULL,
        reads INTEGER NOT NULL,
        patterns TEXT NOT NULL
    );
    )sql",
    // 5: a plan's runs: the plan's name, version and digest (NULL for a
    // self-test's run), a row a step's pass with its outcome, measurement and
    // findings (JSON: [{"kind": "not-met", "where": "DI2=1"}]); runs marked as
    // suspecting the station's fixture, and who overruled a repair.
    R"sql(
    ALTER TABLE runs ADD COLUMN plan TEXT;
    ALTER TABLE runs ADD COLUMN plan_version TEXT;
    ALTER TABLE runs ADD COLUMN plan_digest TEXT;
    ALTER TABLE runs ADD COLUMN suspect_fixture INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE runs ADD COLUMN overruled_by TEXT NOT NULL DEFAULT '';
    CREATE TABLE steps (
        run INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
        position INTEGER NOT NULL,
        name TEXT NOT NULL,
        pass INTEGER NOT NULL,
        outcome TEXT NOT NULL CHECK (outcome IN ('passed', 'failed', 'skipped')),
        measured_ms INTEGER,
        limit_ms INTEGER,
        findings TEXT NOT NULL,
        PRIMARY KEY (run, position)
    ) WITHOUT ROWID;
    CREATE INDEX runs_by_station ON runs (station, started);
    )sql",
};
// A step a layout: a version without its step, or a step without its version, is a build error.
static_assert(std::size(kSteps) == kSchemaVersion);

std::string pragma(Database& db, const std::string& name) {
    Statement statement = db.prepare("PRAGMA " + name);
    return statement.step() ? statement.text(0) : std::string();
}

// Refuses a file of another program or of a newer dio-cli; returns its layout.
long layoutOf(Database& db) {
    const long id = std::atol(pragma(db, "application_id").c_str());
    const long found = std::atol(pragma(db, "user_version").c_str());
    if (id != 0 && id != kApplicationId)
        throw RecordFailed(db.path() + " 不是 dio-cli 的记录库（另一个程序的 SQLite 数据库）");
    if (found > kSchemaVersion)
        throw RecordFailed(db.path() + " 是更新的 dio-cli 写的（记录格式第 " +
                           std::to_string(found) + " 版，本程序只认到第 " +
                           std::to_string(kSchemaVersion) +
                           " 版）：请用新版的 dio-cli，此文件未改动");
    if (found == 0 && db.prepare("SELECT 1 FROM sqlite_schema").step())
        throw RecordFailed(db.path() + " 不是 dio-cli 的记录库（已有别的表）");
    return found;
}

// The file into WAL mode, outside a transaction as SQLite asks; kept in the
// file from then on. While another station's program holds the file SQLite
// says "locked" at once rather than wait: asked again, for as long as any
// other step waits for the lock.
void writeAheadLog(Database& db) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(db.busy());
    for (;;) {
        try {
            if (pragma(db, "journal_mode = WAL") == "wal")
                return;
            if (std::chrono::steady_clock::now() >= until)
                db.fail("记录库不能用预写日志（WAL）模式");
        } catch (const RecordFailed&) {
            if (std::chrono::steady_clock::now() >= until)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

void prepareSchema(Database& db, int version) {
    db.exec("PRAGMA foreign_keys = ON");
    // Looked at before anything is written, so that a file refused stays as it
    // was; one of this layout needs nothing written (a reader takes no lock).
    // In one read: the layout another station's program is making is seen
    // whole (its tables with its number) or not at all.
    long found = 0;
    {
        ReadTransaction read(db);
        found = layoutOf(db);
    }
    if (found >= version)
        return;
    writeAheadLog(db);
    Transaction transaction(db);
    // Again under the lock: another station's program may have been first.
    found = layoutOf(db);
    for (long step = found; step < version; ++step)
        db.exec(kSteps[step]);
    if (found < version) {
        db.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
        db.exec("PRAGMA user_version = " + std::to_string(version));
    }
    transaction.commit();
}

void requireLayout(Database& db) {
    ReadTransaction read(db);
    const long found = layoutOf(db);
    if (found != kSchemaVersion)
        throw RecordFailed(db.path() + " 是较旧的记录格式（第 " + std::to_string(found) +
                           " 版），要升级才能读，而这里写不了它");
}

} // namespace cli::records
