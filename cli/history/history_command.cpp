#include "history_command.h"

#include "cli/history/plant_history.h"
#include "convert/printable.h"
#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/options/station_arguments.h"
#include "core/records/default_database.h"

#include <memory>
#include <string_view>

namespace cli {

using records::HistorySetup;
using records::isPlantStore;

namespace {

// What --stats counts by.
enum class StatsBy { Channel, Station };
constexpr convert::Named<StatsBy> kStatsByNames[] = {{StatsBy::Channel, "channel"},
                                                     {StatsBy::Station, "station"}};

// "2026-12-01", "2026-12-01T08:00" or "2026-12-01T08:00:00" (UTC), a day and
// time that exist: as the records hold times, so that it compares as text.
std::string sinceDate(const std::string& text) {
    static const char* const kShapes[] = {"dddd-dd-dd", "dddd-dd-ddTdd:dd", "dddd-dd-ddTdd:dd:dd"};
    auto number = [&](std::size_t at, std::size_t size) {
        return std::stoi(text.substr(at, size));
    };
    for (std::string_view shape : kShapes) {
        bool fits = text.size() == shape.size();
        for (std::size_t i = 0; fits && i < shape.size(); ++i)
            fits = shape[i] == 'd' ? text[i] >= '0' && text[i] <= '9' : text[i] == shape[i];
        if (!fits)
            continue;
        const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool exists = month >= 1 && month <= 12 && day >= 1 && day <= days[month - 1] &&
                            (text.size() < 16 || (number(11, 2) < 24 && number(14, 2) < 60)) &&
                            (text.size() < 19 || number(17, 2) < 60);
        if (exists)
            return text;
        break;
    }
    throw UsageError("--since 的“" + text + "”不对：应为 UTC 日期或时间，如 2026-12-01 或 " +
                     "2026-12-01T08:00:00");
}

// --db of history: a station's file or the plant's PostgreSQL.
std::optional<std::string> historyDatabase(const CLI::Option* given, const std::string& db) {
    if (!given || !*given || !isPlantStore(db))
        return databaseFile(given, db);
    plant::checkPlantStore(db);
    return db;
}

} // namespace

Finish<HistorySetup> Subcommand<HistorySetup>::declare(CLI::App& app) {
    struct Typed {
        std::string serial, station, since, status, db,
            by = convert::nameIn(kStatsByNames, StatsBy::Channel),
            format = convert::nameIn(records::kHistoryFormatNames, HistorySetup().format);
        bool stats = false, pending = false, check = false;
        CLI::Option *serialGiven = nullptr, *stationGiven = nullptr, *sinceGiven = nullptr,
                    *statusGiven = nullptr, *dbGiven = nullptr, *byGiven = nullptr;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* history = subcommand(app, "history",
                                   "记录库里的自检，最新的在前，连同找到的故障；"
                                   "--stats：各通道被查出故障的次数和种类");
    typed->serialGiven =
        history->add_option("--serial", typed->serial, "只看这块板卡")->type_name("SN");
    typed->stationGiven =
        history->add_option("--station", typed->station, "只看这个测试台的")->type_name("NAME");
    typed->sinceGiven = history
                            ->add_option("--since", typed->since,
                                         "只看此后开始的（UTC，如 2026-12-01 或 "
                                         "2026-12-01T08:00:00）")
                            ->type_name("DATE");
    typed->statusGiven =
        history
            ->add_option("--status", typed->status,
                         "只看此结果的：" + convert::namesIn(records::kRunStatusNames, "、"))
            ->type_name("S");
    defaulted(history->add_option("-f,--format", typed->format,
                                  "输出格式：" + choices(records::kHistoryFormatNames)),
              "FMT");
    history->add_flag("--stats", typed->stats, "各通道被查出故障的次数，按种类");
    typed->byGiven = defaulted(history->add_option("--by", typed->by,
                                                   "--stats 按什么分：channel（各通道）或 "
                                                   "station（各测试台的次数、合格和一次合格率）"),
                               "BY");
    history->add_flag("--pending", typed->pending, "只看工厂的库还没确认收到的");
    history->add_flag("--check", typed->check,
                      "按每次自检记下的图样和读数重新推一遍，核对它的结论；"
                      "有不符的，结束状态为 6");
    typed->dbGiven =
        history
            ->add_option("--db", typed->db,
                         std::string(kDbHelp) +
                             "；或工厂的 PostgreSQL：postgresql://主机/库名 或 service=名字")
            ->type_name("FILE|URL");
    return [typed] {
        HistorySetup command;
        if (*typed->serialGiven)
            command.filter.serial = typed->serial;
        if (*typed->sinceGiven)
            command.filter.since = sinceDate(typed->since);
        if (*typed->statusGiven)
            command.filter.status = choice("--status", typed->status, records::kRunStatusNames);
        command.format = choice("--format", typed->format, records::kHistoryFormatNames);
        if (*typed->stationGiven)
            command.filter.station = typed->station;
        command.filter.pending = typed->pending;
        command.stats = typed->stats;
        command.check = typed->check;
        if (typed->check && typed->stats)
            throw UsageError("--check 和 --stats 只能选一个");
        const StatsBy by = choice("--by", typed->by, kStatsByNames);
        if (*typed->byGiven && !typed->stats)
            throw UsageError("--by 是 --stats 的：同时给出 --stats");
        command.byStation = by == StatsBy::Station;
        command.db = historyDatabase(typed->dbGiven, typed->db);
        if (typed->pending && command.db && isPlantStore(*command.db))
            throw UsageError("--pending 看的是测试台自己的记录库：工厂的库里只有收到的");
        return command;
    };
}

ExitStatus Subcommand<HistorySetup>::run(const HistorySetup& setup) {
    // A file, the plant's store, or without --db the user's own file.
    const std::unique_ptr<records::RunStore> store =
        setup.db && isPlantStore(*setup.db)
            ? plant::openPlantStore(*setup.db)
            : std::make_unique<records::StationFile>(records::databaseAt(setup.db));
    if (setup.stats && setup.byStation)
        write(Stream::Out,
              records::stationStatsOutput(store->stationCounts(setup.filter), setup.format));
    else if (setup.stats)
        write(Stream::Out, records::statsOutput(store->faultCounts(setup.filter), setup.format));
    else if (!setup.check)
        write(Stream::Out, records::historyOutput(store->history(setup.filter), setup.format));
    if (!setup.check)
        return ExitStatus::Ok;
    long disagreeing = 0;
    write(Stream::Out,
          records::checkOutput(store->history(setup.filter), setup.format, disagreeing));
    if (disagreeing > 0)
        throw RecordFailed(std::to_string(disagreeing) + " 次自检记下的结论与它自己的读数不符");
    return ExitStatus::Ok;
}

} // namespace cli
