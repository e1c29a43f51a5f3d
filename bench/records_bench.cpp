// What keeping results costs: recording one run (the file opened, its layout
// checked, one transaction committed in WAL mode) beside the self-test it
// records, on the simulated card at the default settling; and reading 100,000
// recorded runs back: one serial number's with its index against the same
// file without it, and the counts per channel.
#include "core/card/card.h"
#include "core/records/sqlite.h"
#include "core/records/store.h"
#include "core/selftest/on_card.h"
#include "driver/dlldef.h"
#include "own_card.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <array>
#include <filesystem>
#include <numeric>
#include <unistd.h>

namespace {

using namespace cli::records;

std::string scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("dio-records-bench-" + std::to_string(getpid()) + "-" + name))
        .string();
}

void remove(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(path + suffix);
}

RecordedRun sample(int serial, int index) {
    RecordedRun run;
    run.serial = "SN-" + std::to_string(serial);
    run.part = "ZAN-51";
    run.station = "line 3";
    run.operatorName = "operator";
    // Whole seconds apart, one run after another.
    const int second = index % 60, minute = index / 60 % 60, hour = index / 3600 % 24;
    char time[40];
    std::snprintf(time, sizeof time, "2026-%02d-%02dT%02d:%02d:%02d.000Z", 1 + index / 86400 % 12,
                  1 + index / 86400 % 28, hour, minute, second);
    run.started = run.ended = time;
    run.settleMs = 10;
    run.channels = "1-128";
    // A sound run's trace: the eight patterns of the adaptive codes, read back as driven.
    run.trace.emplace();
    for (int bit = 0; bit < 8; ++bit) {
        std::vector<bool> pattern(128);
        for (int line = 0; line < 128; ++line)
            pattern[line] = ((line + 1) * 37 >> bit & 1) != 0;
        run.trace->patterns.push_back(
            {pattern, cli::selftest::Reading(pattern, std::vector<bool>(128))});
    }
    run.patterns = static_cast<long>(run.trace->patterns.size());
    run.status = index % 10 == 0 ? RunStatus::Fail : RunStatus::Pass;
    if (run.status == RunStatus::Fail)
        run.faults = {{cli::selftest::FaultKind::Stuck0, {1 + index % 128}},
                      {cli::selftest::FaultKind::Short, {17, 18}, cli::selftest::Wired::And}};
    return run;
}

// The self-test it sits beside, 128 lines at the default 10 ms settling.
void BM_Selftest_Default(benchmark::State& state) {
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(SIMCARD_DIR)};
    cli::Card card{dll};
    std::vector<int> channels(128);
    std::iota(channels.begin(), channels.end(), 1);
    cli::SelftestSetup setup;
    setup.channels = channels;
    for (auto _ : state) {
        cli::selftest::Trace driven;
        benchmark::DoNotOptimize(cli::selftestOnCard(card, setup, driven));
    }
}
BENCHMARK(BM_Selftest_Default)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_RecordRun(benchmark::State& state) {
    const std::string path = scratch("record.sqlite");
    remove(path);
    int index = 0;
    for (auto _ : state) {
        recordRun(path, sample(index % 1000, index));
        ++index;
    }
    remove(path);
}
BENCHMARK(BM_RecordRun)->Unit(benchmark::kMillisecond)->UseRealTime();

// 100,000 runs of 1,000 cards, one in ten failed; made once.
const std::string& hundredThousand(bool indexed) {
    static const std::array<std::string, 2> paths = [] {
        const std::string with = scratch("100k.sqlite"), without = scratch("100k-noindex.sqlite");
        remove(with);
        recordRun(with, sample(0, 0));
        {
            Database db(with, Database::Mode::Existing);
            Transaction all(db);
            Statement run = db.prepare(
                "INSERT INTO runs (serial, part, station, operator, started, ended, settle_ms, "
                "channels, patterns, status, reason) VALUES (?, 'ZAN-51', 'line 3', 'op', ?, ?, "
                "10, '1-128', 8, ?, '')");
            Statement traced = db.prepare(
                "INSERT INTO traces (run, codes, reads, patterns) VALUES (?, 'adaptive', 2, ?)");
            const std::string trace =
                cli::selftest::patternsJson(sample(0, 0).trace->patterns).dump();
            Statement fault =
                db.prepare("INSERT INTO faults (run, kind, channels, wired, why, flickers) "
                           "VALUES (?, 'stuck-0', ?, '', '', 0)");
            Statement channel =
                db.prepare("INSERT INTO fault_channels (fault, channel) VALUES (?, ?)");
            for (int i = 1; i < 100000; ++i) {
                const RecordedRun r = sample(i % 1000, i);
                run.bind(1, r.serial).bind(2, r.started).bind(3, r.ended);
                run.bind(4, nameOf(r.status)).run();
                const auto id = db.lastRowId();
                traced.bind(1, id).bind(2, trace).run();
                if (r.status == RunStatus::Fail) {
                    fault.bind(1, id).bind(2, std::to_string(1 + i % 128)).run();
                    channel.bind(1, db.lastRowId()).bind(2, std::int64_t{1 + i % 128}).run();
                }
            }
            all.commit();
        }
        remove(without);
        std::filesystem::copy_file(with, without);
        Database db(without, Database::Mode::Existing);
        db.exec("DROP INDEX runs_by_serial");
        return std::array<std::string, 2>{without, with};
    }();
    return paths[indexed];
}

void BM_History_OneSerial_Indexed(benchmark::State& state) {
    const std::string& path = hundredThousand(true);
    HistoryFilter filter;
    filter.serial = "SN-417";
    for (auto _ : state)
        state.counters["runs"] = static_cast<double>(history(path, filter).size());
}
BENCHMARK(BM_History_OneSerial_Indexed)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_History_OneSerial_NoIndex(benchmark::State& state) {
    const std::string& path = hundredThousand(false);
    HistoryFilter filter;
    filter.serial = "SN-417";
    for (auto _ : state)
        state.counters["runs"] = static_cast<double>(history(path, filter).size());
}
BENCHMARK(BM_History_OneSerial_NoIndex)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Stats_All(benchmark::State& state) {
    const std::string& path = hundredThousand(true);
    for (auto _ : state)
        state.counters["runs"] = static_cast<double>(faultCounts(path, {}).runs);
}
BENCHMARK(BM_Stats_All)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_History_All(benchmark::State& state) {
    const std::string& path = hundredThousand(true);
    for (auto _ : state)
        state.counters["runs"] = static_cast<double>(history(path, {}).size());
}
BENCHMARK(BM_History_All)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const OwnCard card;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    remove(hundredThousand(true));
    remove(hundredThousand(false));
    return 0;
}
