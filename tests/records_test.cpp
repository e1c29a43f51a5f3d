// The records' layout upgrades and their text forms; what a run keeps and the
// files refused are checked on the program as built (records_check.py).
#include "cli/common/errors.h"
#include "cli/records/history_output.h"
#include "cli/records/schema.h"
#include "cli/records/sqlite.h"
#include "cli/records/store.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

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
    run.serial = "SN,\"7\"";
    run.reason = "line\nbreak";
    run.faults = {{cli::selftest::FaultKind::Intermittent, {4}, {}, {}, 3}};
    const std::string csv = historyOutput({run}, HistoryFormat::Csv);
    EXPECT_NE(csv.find(",\"SN,\"\"7\"\"\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"line\nbreak\",intermittent 4 flickers 3\r\n"), std::string::npos) << csv;
}

} // namespace
