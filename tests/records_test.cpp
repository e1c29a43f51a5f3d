// The records' layout upgrades and their text forms; what a run keeps and the
// files refused are checked on the program as built (records_check.py).
#include "convert/uuid.h"
#include "core/base/errors.h"
#include "core/base/run_identity.h"
#include "core/records/history_output.h"
#include "core/records/run_message.h"
#include "core/records/schema.h"
#include "core/records/sqlite.h"
#include "core/records/store.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <functional>

namespace {

using namespace cli::records;

struct RecordsFile : testing::Test {
    std::string path =
        (std::filesystem::temp_directory_path() /
         ("records-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
          ::testing::UnitTest::GetInstance()->current_test_info()->name()))
            .string();
    ~RecordsFile() override {
        for (const char* suffix : {"", "-wal", "-shm"})
            std::remove((path + suffix).c_str());
    }
};

TEST_F(RecordsFile, AFirstLayoutFileIsUpgradedAndItsFaultsCounted) {
    {
        Database db(path, Database::Mode::Create);
        prepareSchema(db, 1);
        db.exec("INSERT INTO runs VALUES (1, 'SN', '', 's', 'o', '2026-01-01T00:00:00.000Z', "
                "'2026-01-01T00:00:01.000Z', 10, '1-8', 8, 'fail', '')");
        db.exec("INSERT INTO faults VALUES (1, 1, 'short', '5,6', 'or', '', 0)");
    }
    RecordedRun run;
    run.serial = "SN";
    run.started = "2026-02-01T00:00:00.000Z";
    run.status = RunStatus::Fail;
    run.faults = {{cli::selftest::FaultKind::Stuck1, {6}}};
    recordRun(path, run);
    const FaultCounts counts = faultCounts(path, {});
    ASSERT_EQ(counts.runs, 2);
    ASSERT_EQ(counts.channels.size(), 2u);
    EXPECT_EQ(counts.channels[0].channel, 6);
    EXPECT_EQ(counts.channels[0].kinds,
              (std::map<std::string, long>{{"short", 1}, {"stuck-1", 1}}));
    EXPECT_EQ(counts.channels[1].channel, 5);
    EXPECT_EQ(history(path, {}).at(1).faults.at(0).wired, cli::selftest::Wired::Or);
}

// What another program left in a file (a number as text or a fraction, one
// past what the field holds, a channel list dio-cli never writes, a status it
// does not know) is an error for every reading, never another number.
TEST_F(RecordsFile, WhatDioCliNeverWritesIsAnError) {
    enum : int { kHistory = 1, kFaultCounts = 2, kStationCounts = 4 };
    const struct {
        const char* name;
        const char* change;
        int refusedBy;
    } rows[] = {{"patterns as a word", "UPDATE runs SET patterns = 'many'", kHistory},
                {"settling as a fraction", "UPDATE runs SET settle_ms = 2.5", kHistory},
                {"flickers as a word", "UPDATE faults SET flickers = 'often'", kHistory},
                {"flickers past 32 bits", "UPDATE faults SET flickers = 4294967297", kHistory},
                {"a channel as a fraction", "UPDATE faults SET channels = '1.5'", kHistory},
                {"a channel the card lacks", "UPDATE faults SET channels = '0,9999'", kHistory},
                {"no channel", "UPDATE faults SET channels = ''", kHistory},
                {"a counted channel past 32 bits", "UPDATE fault_channels SET channel = 4294967302",
                 kFaultCounts},
                {"a status nobody knows", "UPDATE runs SET status = 'weird'",
                 kHistory | kFaultCounts | kStationCounts}};
    using Read = std::function<void(const std::string&)>;
    const std::pair<int, Read> readings[] = {
        {kHistory, [](const std::string& p) { (void)history(p, {}); }},
        {kFaultCounts, [](const std::string& p) { (void)faultCounts(p, {}); }},
        {kStationCounts, [](const std::string& p) { (void)stationCounts(p, {}); }}};
    for (const auto& row : rows) {
        std::remove(path.c_str());
        RecordedRun run;
        run.serial = "SN";
        run.status = RunStatus::Fail;
        run.faults = {{cli::selftest::FaultKind::Stuck1, {6}}};
        recordRun(path, run);
        {
            Database db(path, Database::Mode::Existing);
            db.exec("PRAGMA ignore_check_constraints = ON");
            db.exec(row.change);
        }
        int refused = 0;
        for (const auto& [reading, read] : readings)
            try {
                read(path);
            } catch (const cli::RecordFailed&) {
                refused |= reading;
            }
        EXPECT_EQ(refused, row.refusedBy) << row.name;
    }
}

TEST_F(RecordsFile, ReadBackAsRecorded) {
    RecordedRun run;
    run.serial = "SN";
    run.channels = "9-19,128";
    run.status = RunStatus::Fail;
    run.faults = {{cli::selftest::FaultKind::Short, {9, 19, 128}, cli::selftest::Wired::Or}};
    recordRun(path, run);
    const RecordedRun back = history(path, {}).at(0);
    EXPECT_EQ(back.channels, run.channels);
    EXPECT_EQ(back.faults.at(0).channels, run.faults.at(0).channels);
}

TEST_F(RecordsFile, AnotherProgramsDatabaseIsLeftAlone) {
    {
        Database db(path, Database::Mode::Create);
        db.exec("CREATE TABLE orders (id INTEGER)");
    }
    EXPECT_THROW(recordRun(path, {}), cli::RecordFailed);
    Database db(path, Database::Mode::Existing);
    EXPECT_FALSE(db.prepare("SELECT 1 FROM sqlite_schema WHERE name = 'runs'").step());
}

TEST(Records, ChannelRanges) {
    const struct {
        const char* name;
        std::vector<int> channels;
        const char* text;
    } rows[] = {{"none", {}, ""},
                {"one", {7}, "7"},
                {"run and one", {1, 2, 3, 20}, "1-3,20"},
                {"pairs", {4, 5, 9, 10}, "4-5,9-10"}};
    for (const auto& row : rows)
        EXPECT_EQ(channelRanges(row.channels), row.text) << row.name;
}

TEST(Records, CsvQuotesWhatWouldSplitAField) {
    RecordedRun run;
    run.id = 7;
    run.serial = "SN,\"7\"";
    run.reason = "line\nbreak";
    run.faults = {{cli::selftest::FaultKind::Intermittent, {4}, {}, {}, 3}};
    const std::string csv = historyOutput({run}, HistoryFormat::Csv);
    EXPECT_NE(csv.find(",\"SN,\"\"7\"\"\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"line\nbreak\",intermittent 4 flickers 3\r\n"), std::string::npos) << csv;
}

} // namespace

namespace {

TEST_F(RecordsFile, RunsKeptBeforeIdentitiesGetThemAndArePendingUntilConfirmed) {
    {
        Database db(path, Database::Mode::Create);
        prepareSchema(db, 2);
        for (int id : {1, 2})
            db.exec("INSERT INTO runs VALUES (" + std::to_string(id) +
                    ", 'SN', '', 's', 'o', '2026-01-01T00:00:00.000Z', "
                    "'2026-01-01T00:00:01.000Z', 10, '1-8', 8, 'pass', '')");
    }
    RecordedRun third;
    third.serial = "SN3";
    third.station = "s";
    third.uuid = "0e0f8a5e-5a4f-4c1b-9d2e-3f4a5b6c7d8e";
    recordRun(path, third);
    const std::vector<RecordedRun> waiting = undelivered(path, 10);
    ASSERT_EQ(waiting.size(), 3u);
    EXPECT_TRUE(convert::isUuid(waiting[0].uuid));
    EXPECT_TRUE(convert::isUuid(waiting[1].uuid));
    EXPECT_NE(waiting[0].uuid, waiting[1].uuid);
    EXPECT_EQ(waiting[2].uuid, third.uuid); // oldest first
    EXPECT_EQ(undelivered(path, 2).size(), 2u);

    markSent(path, {waiting[0].uuid}, "2026-01-02T00:00:00.000Z");
    EXPECT_EQ(undelivered(path, 10, "2026-01-02T00:00:00.000Z").size(), 2u);
    EXPECT_EQ(undelivered(path, 10, "2026-01-02T00:00:00.001Z").size(), 3u);
    // Sent while the clock was ahead: not on its way for ever.
    markSent(path, {waiting[0].uuid}, "2999-01-01T00:00:00.000Z");
    EXPECT_EQ(undelivered(path, 10, "2026-01-02T00:00:00.001Z").size(), 3u);

    EXPECT_EQ(markDelivered(path, {waiting[1].uuid, "another station's"}, "t"), 1);
    EXPECT_EQ(markDelivered(path, {waiting[1].uuid}, "t"), 0); // once
    HistoryFilter pending;
    pending.pending = true;
    EXPECT_EQ(history(path, pending).size(), 2u);
    pending.station = "elsewhere";
    EXPECT_TRUE(history(path, pending).empty());
}

// The station's window reads a day's units with their past, and the newest runs.
TEST_F(RecordsFile, FiltersForAStationsDay) {
    struct Made {
        const char *station, *serial, *started;
    };
    for (const Made& m : {Made{"a", "1", "2026-01-01T01"}, Made{"a", "2", "2026-01-01T02"},
                          Made{"b", "1", "2026-01-02T01"}, Made{"a", "1", "2026-01-02T02"},
                          Made{"a", "3", "2026-01-02T03"}}) {
        RecordedRun run;
        run.station = m.station;
        run.serial = m.serial;
        run.started = m.started;
        recordRun(path, run);
    }
    auto started = [&](const HistoryFilter& filter) {
        std::vector<std::string> times;
        for (const RecordedRun& run : history(path, filter))
            times.push_back(run.started.substr(8));
        return times;
    };
    HistoryFilter units;
    units.station = "a";
    units.unitsSince = "2026-01-02";
    EXPECT_EQ(started(units), std::vector<std::string>({"02T03", "02T02", "01T01"}));
    HistoryFilter newest;
    newest.newest = 2;
    EXPECT_EQ(started(newest), std::vector<std::string>({"02T03", "02T02"}));
    newest.station = "b";
    EXPECT_EQ(started(newest), std::vector<std::string>({"02T01"}));
}

// A unit that failed and then passed counts in the final yield, not the first-pass one.
TEST_F(RecordsFile, StationCountsGiveFirstPassAndFinalYields) {
    struct Made {
        const char *station, *serial, *started;
        RunStatus status;
    };
    for (const Made& m : {Made{"a", "1", "2026-01-01T01", RunStatus::Fail},
                          Made{"a", "1", "2026-01-01T02", RunStatus::Pass},
                          Made{"a", "2", "2026-01-01T03", RunStatus::Pass},
                          Made{"b", "1", "2026-01-01T04", RunStatus::Aborted}}) {
        RecordedRun run;
        run.station = m.station;
        run.serial = m.serial;
        run.started = m.started;
        run.status = m.status;
        recordRun(path, run);
    }
    const std::vector<StationCounts> counts = stationCounts(path, {});
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0].station, "a");
    EXPECT_EQ(
        std::vector<long>({counts[0].runs, counts[0].passed, counts[0].failed, counts[0].unfinished,
                           counts[0].units, counts[0].firstPass, counts[0].finalPass}),
        std::vector<long>({3, 2, 1, 0, 2, 1, 2}));
    EXPECT_EQ(counts[1].unfinished, 1);
    EXPECT_EQ(stationStatsOutput(counts, HistoryFormat::Csv),
              "station,runs,passed,failed,unfinished,units,first_pass,first_pass_yield,final_pass,"
              "final_yield\r\na,3,2,1,0,2,1,50.0,2,100.0\r\nb,1,0,0,1,1,0,0.0,0,0.0\r\n");
}

// Two runs of a unit in one millisecond (a clock set back, a forged record): a
// station's file decides as the plant does, the run that did not pass first,
// and lists them by identity.
TEST_F(RecordsFile, RunsInOneMillisecondInThePlantsOrder) {
    for (const auto& [uuid, status] :
         {std::pair{"0a000000-0000-4000-8000-000000000000", RunStatus::Pass},
          std::pair{"0b000000-0000-4000-8000-000000000000", RunStatus::Fail}}) {
        RecordedRun run;
        run.uuid = uuid;
        run.station = "tie";
        run.serial = "1";
        run.started = "2026-01-01T00:00:00.000Z";
        run.status = status;
        recordRun(path, run);
    }
    const std::vector<StationCounts> counts = stationCounts(path, {});
    ASSERT_EQ(counts.size(), 1u);
    EXPECT_EQ(std::pair(counts[0].units, counts[0].firstPass), std::pair(1L, 0L));
    const std::vector<RecordedRun> runs = history(path, {});
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].status, RunStatus::Pass);
}

RecordedRun sampleRun() {
    RecordedRun run;
    run.uuid = "0e0f8a5e-5a4f-4c1b-9d2e-3f4a5b6c7d8e";
    run.serial = "SN-\xff";
    run.station = "line 3";
    run.operatorName = "张三";
    run.started = "2026-12-09T10:15:00.123Z";
    run.ended = "2026-12-09T10:15:01.456Z";
    run.settleMs = 5;
    run.channels = "1-16";
    run.patterns = 7;
    run.status = RunStatus::Fail;
    run.faults = {{cli::selftest::FaultKind::Short, {3, 4}, cli::selftest::Wired::And},
                  {cli::selftest::FaultKind::Intermittent, {9}, {}, {}, 3}};
    return run;
}

TEST(RunMessage, ReadBackAsSentWithStrayBytesEscaped) {
    const RecordedRun back = runFromMessage(runMessage(sampleRun()));
    EXPECT_EQ(back.serial, "SN-\\xff");
    EXPECT_EQ(back.operatorName, "张三");
    EXPECT_EQ(back.started, "2026-12-09T10:15:00.123Z");
    EXPECT_EQ(back.status, RunStatus::Fail);
    ASSERT_EQ(back.faults.size(), 2u);
    EXPECT_EQ(back.faults[0].wired, cli::selftest::Wired::And);
    EXPECT_EQ(back.faults[0].channels, (std::vector<int>{3, 4}));
    EXPECT_EQ(back.faults[1].flickers, 3);
    EXPECT_EQ(back.id, 0);
}

TEST(RunMessage, WhatIsNoRunIsRefused) {
    nlohmann::json good = nlohmann::json::parse(runMessage(sampleRun()));
    auto with = [&](const char* field, const nlohmann::json& value) {
        nlohmann::json changed = good;
        if (value.is_discarded())
            changed.erase(field);
        else
            changed[field] = value;
        return changed.dump();
    };
    const nlohmann::json missing(nlohmann::json::value_t::discarded);
    const std::pair<const char*, std::string> rows[] = {
        {"not JSON", "{\"uuid\": "},
        {"not an object", "[1, 2]"},
        {"no identity", with("uuid", missing)},
        {"an identity that is no UUID", with("uuid", "0e0f8a5e")},
        {"no serial", with("serial", missing)},
        {"an empty serial", with("serial", "")},
        {"a serial with an escape", with("serial", "A\x1b[2JB")},
        {"a number for a serial", with("serial", 5)},
        {"a local time", with("started", "2026-12-09T10:15:00.123+08:00")},
        {"a month 13", with("ended", "2026-13-09T10:15:00.123Z")},
        {"a 31st of February", with("ended", "2026-02-31T10:15:00.123Z")},
        {"a sign in the year", with("started", "+026-12-09T10:15:00.123Z")},
        {"a 29th of February in 2100", with("ended", "2100-02-29T10:15:00.123Z")},
        {"hour 24", with("started", "2026-12-09T24:00:00.000Z")},
        {"a settling over a minute", with("settle_ms", 60001)},
        {"an unknown status", with("status", "maybe")},
        {"a negative settle", with("settle_ms", -1)},
        {"faults not a list", with("faults", "none")},
        {"an unknown fault",
         with("faults", nlohmann::json::parse(R"([{"kind": "melted", "channels": [1]}])"))},
        {"channel 0",
         with("faults", nlohmann::json::parse(R"([{"kind": "stuck-0", "channels": [0]}])"))},
        {"a fault without channels",
         with("faults", nlohmann::json::parse(R"([{"kind": "stuck-0", "channels": []}])"))},
        {"a channel the card lacks",
         with("faults", nlohmann::json::parse(R"([{"kind": "stuck-0", "channels": [129]}])"))},
        {"a pass with a fault", with("status", "pass")},
        {"no channel list", with("channels", "not channels")},
        {"channels descending", with("channels", "9-16,1-8")},
        {"a range backwards", with("channels", "16-1")},
        {"larger than any run", std::string(kLargestRunMessage + 1, ' ')},
        // What no station keeps, with a trace or without.
        {"a fault on a channel not tested",
         with("faults", nlohmann::json::parse(R"([{"kind": "stuck-0", "channels": [100]}])"))},
        {"a fail without faults", with("faults", nlohmann::json::array())},
        {"a short of one line",
         with("faults", nlohmann::json::parse(R"([{"kind": "short", "channels": [3, 3]}])"))},
        {"a stuck pair",
         with("faults", nlohmann::json::parse(R"([{"kind": "stuck-1", "channels": [3, 4]}])"))},
        {"one fault twice", with("faults", nlohmann::json::parse(
                                               R"([{"kind": "stuck-0", "channels": [3]},
                                                   {"kind": "stuck-0", "channels": [3]}])"))},
        {"an aborted run with faults", with("status", "aborted")},
        {"an error with faults and no trace", with("status", "error")},
        {"ended before it started", with("ended", "2026-12-09T10:14:59.000Z")},
        {"a fail of no pattern", with("patterns", 0)},
        {"a pass of no pattern", [&] {
             nlohmann::json pass = good;
             pass["status"] = "pass";
             pass["faults"] = nlohmann::json::array();
             pass["patterns"] = 0;
             return pass.dump();
         }()},
    };
    for (const auto& [name, message] : rows)
        EXPECT_THROW(runFromMessage(message), NotARun) << name;
    EXPECT_NO_THROW(runFromMessage(good.dump()));
    EXPECT_NO_THROW(runFromMessage(with("started", "2000-02-29T23:59:59.999Z")));
    EXPECT_NO_THROW(runFromMessage(with("settle_ms", 60000)));
    EXPECT_NO_THROW(runFromMessage(with("channels", "1,3-5,9,128")));
}

// A plan's run: its steps travel with it, and a collector refuses a layout
// newer than its own rather than store the run without what it cannot read.
TEST(RunMessage, CarriesAPlansStepsAndRefusesANewerLayout) {
    RecordedRun run = sampleRun();
    run.faults.clear();
    run.channels = "";
    run.plan = cli::plan::PlanIdentity{"RB-8", "3", "0123456789abcdef"};
    run.steps = {
        {"K1 closes", 1, cli::plan::Outcome::Failed, std::nullopt, 200, {{"not-met", "DI1=1"}}},
        {"cable", 1, cli::plan::Outcome::Skipped, {}, {}, {}}};
    run.suspectFixture = true;
    const RecordedRun back = runFromMessage(runMessage(run));
    ASSERT_TRUE(back.plan);
    EXPECT_EQ(back.plan->digest, "0123456789abcdef");
    ASSERT_EQ(back.steps.size(), 2u);
    EXPECT_EQ(back.steps[0].limitMs, 200);
    EXPECT_EQ(back.steps[0].findings, run.steps[0].findings);
    EXPECT_TRUE(back.suspectFixture);
    nlohmann::json good = nlohmann::json::parse(runMessage(run));
    auto with = [&](const char* field, const nlohmann::json& value) {
        nlohmann::json changed = good;
        changed[field] = value;
        return changed.dump();
    };
    const std::pair<const char*, std::string> rows[] = {
        {"a newer layout", with("version", 3)},
        {"a plan without steps",
         [&] {
             nlohmann::json changed = good;
             changed.erase("steps");
             return changed.dump();
         }()},
        {"a pass with a failed step", with("status", "pass")},
        {"an unknown outcome", with("steps", nlohmann::json::parse(
                                                 R"([{"name": "a", "pass": 1, "outcome": "maybe",
                                                      "measured_ms": null, "limit_ms": null,
                                                      "findings": []}])"))},
        {"a step name with an escape",
         [&] {
             nlohmann::json changed = good;
             changed["steps"][0]["name"] = "a\x1b[2J";
             return changed.dump();
         }()},
        {"a measurement not whole",
         with("steps", nlohmann::json::parse(R"([{"name": "a", "pass": 1, "outcome": "failed",
                                                  "measured_ms": 1.5, "limit_ms": null,
                                                  "findings": []}])"))},
        {"a suspect fixture not a truth", with("suspect_fixture", "yes")},
    };
    for (const auto& [name, message] : rows)
        EXPECT_THROW(runFromMessage(message), NotARun) << name;
}

TEST(Uuid, VersionFourInItsUsualText) {
    std::array<std::uint8_t, 16> bytes{};
    bytes.fill(0xff);
    EXPECT_EQ(convert::uuidText(bytes), "ffffffff-ffff-4fff-bfff-ffffffffffff");
    bytes.fill(0);
    EXPECT_EQ(convert::uuidText(bytes), "00000000-0000-4000-8000-000000000000");
    for (const char* no :
         {"", "0e0f8a5e5a4f4c1b9d2e3f4a5b6c7d8e", "0e0f8a5e-5a4f-4c1b-9d2e-3f4a5b6c7d8",
          "0e0f8a5e-5a4f-4c1b-9d2e-3f4a5b6c7d8g", "0e0f8a5e_5a4f-4c1b-9d2e-3f4a5b6c7d8e"})
        EXPECT_FALSE(convert::isUuid(no)) << no;
    EXPECT_TRUE(convert::isUuid("0E0F8A5E-5A4F-4C1B-9D2E-3F4A5B6C7D8E"));
    EXPECT_NE(cli::newRunIdentity(), cli::newRunIdentity());
}

} // namespace
