#include "command_line.h"

#include "convert/digits.h"
#include "convert/ipv4.h"
#include "convert/printable.h"
#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/base/host.h"
#include "core/mqtt/topics.h"
#include "core/options/option_forms.h"
#include "core/options/station_arguments.h"
#include "core/records/default_database.h"

#ifdef DIO_PLANT
#include "core/plant/postgres.h"
#endif

#include <CLI/CLI.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string_view>

namespace cli {
namespace {

// After the parse, the chosen subcommand's settings checked and made into
// its command.
using Finish = std::function<Command()>;
struct Declared {
    std::string name;
    Finish finish;
};

// The broker an --mqtt option names, checked with the station's name that
// becomes a level of its topics.
std::optional<mqtt::BrokerUrl> broker(CLI::Option* option, const std::string& url,
                                      const std::string& station) {
    if (!*option)
        return std::nullopt;
    return mqtt::stationBroker(url, station);
}

Wiring wiringFrom(const std::string& map) {
    return map.empty() ? Wiring() : Wiring::fromFile(map);
}

CLI::App* subcommand(CLI::App& app, const char* name, const char* description) {
    CLI::App* command = app.add_subcommand(name, description);
    command->group("子命令");
    command->set_help_flag("-h,--help", "显示帮助")->group("选项");
    return command;
}

Declared declareInfo(CLI::App& app) {
    subcommand(app, "info", "驱动程序文件和板卡信息（同测试面板）");
    return {"info", [] { return InfoCommand{}; }};
}

Declared declareGet(CLI::App& app) {
    struct Typed {
        std::string words = std::to_string(GetSetup().words),
                    format = convert::nameIn(kGetFormatNames, GetSetup().format);
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* get = subcommand(app, "get", "读输入字：十六进制和各位");
    defaulted(
        get->add_option("-w,--words", typed->words,
                        "读几个字，1 到 " + std::to_string(kMaxInputWords) + "（默认同测试面板）"),
        "N");
    defaulted(get->add_option("-f,--format", typed->format, choices(kGetFormatNames)), "FORMAT");
    return {"get", [typed] {
                return GetSetup{
                    static_cast<int>(parseNumber(typed->words, "--words", 1, kMaxInputWords)),
                    choice("--format", typed->format, kGetFormatNames)};
            }};
}

Declared declareSet(CLI::App& app) {
    struct Typed {
        std::vector<std::string> settings;
        bool bytes = false;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* set =
        subcommand(app, "set",
                   "设输出：通道=0|1（Zan_DOBit），或 --byte 通道组=十六进制字节（Zan_DO）。"
                   "先检查全部参数，有一个不对就什么也不发");
    set->add_option("SETTINGS", typed->settings, "如 9=1 17=0，或与 --byte 一起 0=FF 1=3C")
        ->required()
        ->type_name("KEY=VALUE");
    set->add_flag("-b,--byte", typed->bytes, "按字节：通道组 0 到 15，字节 00 到 FF");
    return {"set", [typed] {
                if (typed->bytes)
                    return SetSetup{true, {}, parseByteSettings(typed->settings)};
                return SetSetup{false, parseBitSettings(typed->settings), {}};
            }};
}

Declared declareWatch(CLI::App& app) {
    struct Typed {
        std::string interval = formatDuration(WatchSetup().interval), duration,
                    channels = allChannels(),
                    format = convert::nameIn(kWatchFormatNames, WatchSetup().format), map,
                    count = std::to_string(WatchSetup().count), mqtt, station = hostName();
        bool utc = false;
        CLI::Option* mqttGiven = nullptr;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* watch = subcommand(app, "watch",
                                 "监视输入：先列出初始状态，再逐个列出变化（带 ISO 8601 时间）；"
                                 "结束时（含 Ctrl-C）列出各通道的变化次数");
    defaulted(watch->add_option("-i,--interval", typed->interval, "轮询间隔"), "TIME");
    defaulted(watch->add_option("-n,--count", typed->count, "有这么多次变化后结束（0：不限）"),
              "N");
    watch->add_option("-d,--duration", typed->duration, "监视这么久后结束，如 30s、5m、1h")
        ->type_name("TIME");
    defaulted(watch->add_option("-c,--channels", typed->channels, "监视的通道，如 1-8,17"), "LIST");
    watch
        ->add_option("-m,--map", typed->map,
                     "接线表：每行“通道 字 位 [名称]”（名称是波形里这条线的名字）")
        ->type_name("FILE");
    watch->add_flag("-u,--utc", typed->utc, "用 UTC 时间（默认本地时间带时差）");
    typed->mqttGiven = watch
                           ->add_option("--mqtt", typed->mqtt,
                                        "另把每个变化（带序号和时间）发布到 MQTT 代理的 "
                                        "<前缀>/<测试台>/watch，如 mqtt://host:1883/plant/line3")
                           ->type_name("URL");
    watch->add_option("--station", typed->station, "MQTT 主题里的测试台（默认主机名）")
        ->type_name("S");
    defaulted(watch->add_option("-f,--format", typed->format,
                                choices(kWatchFormatNames) + "（vcd：波形）"),
              "FORMAT");
    return {"watch", [typed] {
                WatchSetup setup;
                setup.channels = parseChannels(typed->channels);
                setup.wiring = wiringFrom(typed->map);
                setup.interval = parseDuration(typed->interval, "--interval");
                setup.count = parseNumber(typed->count, "--count", 0, 999999999);
                if (!typed->duration.empty())
                    setup.duration = parseDuration(typed->duration, "--duration");
                setup.format = choice("--format", typed->format, kWatchFormatNames);
                setup.utc = typed->utc;
                setup.mqtt = broker(typed->mqttGiven, typed->mqtt, typed->station);
                setup.station = typed->station;
                return setup;
            }};
}

// What selftest's options say, as given.
struct SelftestArguments : StationArguments {
    bool yes = false, json = false;
    std::string report, junit, serial;
    CLI::Option* reportGiven = nullptr;
    CLI::Option* junitGiven = nullptr;
    CLI::Option* serialGiven = nullptr;
};

// The run's settings, checked.
SelftestCommand selftestCommand(const SelftestArguments& given) {
    if (!given.yes)
        throw UsageError("自检会驱动所测的每个输出：确认可以时加上 --yes");
    if (*given.dbGiven && !*given.serialGiven)
        throw UsageError("--db 记下的是一块板卡的自检：同时给出 --serial");
    if (*given.serialGiven && given.serial.empty())
        throw UsageError("--serial 不能为空");
    requirePrintable("--serial", given.serial);
    if (*given.reportGiven && (given.report.empty() || given.report == "-"))
        throw UsageError("--report 要一个文件名（“" + given.report +
                         "”不是；要把报告写到标准输出，用 --json）");
    auto file = [](CLI::Option* option, const std::string& name) {
        return *option ? std::optional(name) : std::nullopt;
    };
    return SelftestCommand{stationSetup(given),
                           {given.json,
                            file(given.reportGiven, given.report),
                            file(given.junitGiven, given.junit),
                            {given.serial, given.part, given.station, given.operatorName},
                            static_cast<bool>(*given.serialGiven),
                            databaseFile(given.dbGiven, given.db),
                            stationBroker(given)}};
}

Declared declareSelftest(CLI::App& app) {
    auto typed = std::make_shared<SelftestArguments>();
    CLI::App* selftest =
        subcommand(app, "selftest",
                   "环回自检：输出经接线回到输入，找出固定为 0 或 1（开路或被钳住）、"
                   "短路（线与、线或）和交叉的通道。会驱动所测的每个输出，结束时全部复位为 0");
    selftest->add_flag("-y,--yes", typed->yes, "确认可以驱动所有输出（必需）");
    selftest->add_flag("-j,--json", typed->json, "以 JSON 输出报告");
    typed->reportGiven = selftest
                             ->add_option("-r,--report", typed->report,
                                          "另把 JSON 报告写入此文件（写完才换掉旧文件）")
                             ->type_name("FILE");
    typed->junitGiven =
        selftest
            ->add_option("--junit", typed->junit, "另把结果写成 JUnit XML（每条通道一个测试用例）")
            ->type_name("FILE");
    typed->serialGiven =
        selftest
            ->add_option("--serial", typed->serial,
                         "所测板卡的序列号：给了就把这次自检记入记录库（dio-cli history 查看）")
            ->type_name("SN");
    declareStationOptions(*selftest, *typed);
    return {"selftest", [typed] { return selftestCommand(*typed); }};
}

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
    if (!given || !*given || !records::isPlantStore(db))
        return databaseFile(given, db);
#ifdef DIO_PLANT
    plant::checkConnectionText(db);
    return db;
#else
    throw UsageError("这个版本的 dio-cli 不读 PostgreSQL：在 Linux 上用 dio-cli history --db " +
                     convert::printable(db, false));
#endif
}

Declared declareHistory(CLI::App& app) {
    struct Typed {
        std::string serial, station, since, status, db,
            by = "channel",
            format = convert::nameIn(records::kHistoryFormatNames, records::HistorySetup().format);
        bool stats = false, pending = false;
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
    typed->dbGiven =
        history
            ->add_option("--db", typed->db,
                         std::string(kDbHelp) + "；或工厂的 PostgreSQL：postgresql://主机/库名")
            ->type_name("FILE|URL");
    return {"history", [typed] {
                records::HistorySetup command;
                if (*typed->serialGiven)
                    command.filter.serial = typed->serial;
                if (*typed->sinceGiven)
                    command.filter.since = sinceDate(typed->since);
                if (*typed->statusGiven)
                    command.filter.status =
                        choice("--status", typed->status, records::kRunStatusNames);
                command.format = choice("--format", typed->format, records::kHistoryFormatNames);
                if (*typed->stationGiven)
                    command.filter.station = typed->station;
                command.filter.pending = typed->pending;
                command.stats = typed->stats;
                if (typed->by != "channel" && typed->by != "station")
                    throw UsageError("--by 的“" + convert::printable(typed->by, false) +
                                     "”不对：应为 channel 或 station");
                if (*typed->byGiven && !typed->stats)
                    throw UsageError("--by 是 --stats 的：同时给出 --stats");
                command.byStation = typed->by == "station";
                command.db = historyDatabase(typed->dbGiven, typed->db);
                if (typed->pending && command.db && records::isPlantStore(*command.db))
                    throw UsageError("--pending 看的是测试台自己的记录库：工厂的库里只有收到的");
                return command;
            }};
}

// "ADDRESS:PORT": an IPv4 address in dotted form and a port, 0 for one the
// system picks.
std::pair<std::string, int> listenAddress(const std::string& text) {
    const auto colon = text.rfind(':');
    const std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
    const std::optional<long> port = colon == std::string::npos
                                         ? std::nullopt
                                         : convert::decimalNumber(text.substr(colon + 1), 5);
    if (!port || *port > 65535)
        throw UsageError("--listen 的“" + text + "”不对：应为“IPv4 地址:端口”，如 127.0.0.1:1502");
    const std::string problem = convert::ipv4Problem(host);
    if (!problem.empty())
        throw UsageError("--listen 的“" + text + "”不对：" + problem);
    return {host, static_cast<int>(*port)};
}

Declared declareServe(CLI::App& app) {
    struct Typed {
        std::string listen = ServeSetup().address + ":" + std::to_string(ServeSetup().port),
                    maxClients = std::to_string(ServeSetup().maxClients),
                    idleTimeout = formatDuration(ServeSetup().idleTimeout), log;
        bool readOnly = false;
        CLI::Option* logGiven = nullptr;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* serve = subcommand(
        app, "serve",
        "把板卡作为 Modbus TCP 设备：离散输入、输入寄存器为输入，线圈、保持寄存器为输出。"
        "Modbus 没有身份验证：只在可信的网络上监听");
    defaulted(serve->add_option("-l,--listen", typed->listen, "监听的地址和端口"), "ADDRESS:PORT");
    serve->add_flag("--read-only", typed->readOnly, "只读：每个写请求都答以异常 1");
    defaulted(serve->add_option("--max-clients", typed->maxClients, "同时最多几个客户端"), "N");
    defaulted(serve->add_option("--idle-timeout", typed->idleTimeout, "客户端多久没有请求就断开"),
              "TIME");
    typed->logGiven =
        serve->add_option("--log", typed->log, "日志写入此文件（默认标准错误）")->type_name("FILE");
    return {"serve", [typed] {
                ServeSetup setup;
                std::tie(setup.address, setup.port) = listenAddress(typed->listen);
                setup.readOnly = typed->readOnly;
                setup.maxClients =
                    static_cast<int>(parseNumber(typed->maxClients, "--max-clients", 1, 256));
                setup.idleTimeout = parseDuration(typed->idleTimeout, "--idle-timeout");
                if (*typed->logGiven)
                    setup.log = typed->log;
                return setup;
            }};
}

Declared declarePublish(CLI::App& app) {
    struct Typed {
        std::string mqtt, db, wait = "10s";
        bool pending = false;
        CLI::Option* dbGiven = nullptr;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* publish =
        subcommand(app, "publish",
                   "把记录库里工厂的库还没确认收到的自检（最早的在前）发到代理，等收集程序确认");
    publish->add_flag("--pending", typed->pending, "发未确认的（必需）");
    publish->add_option("--mqtt", typed->mqtt, "代理，同 selftest 的 --mqtt")
        ->type_name("URL")
        ->required();
    typed->dbGiven = publish->add_option("--db", typed->db, kDbHelp)->type_name("FILE");
    defaulted(publish->add_option("--wait", typed->wait, "最多等收集程序确认多久"), "TIME");
    return {"publish", [typed] {
                if (!typed->pending)
                    throw UsageError("publish 只发未确认的：加上 --pending");
                DeliverySetup setup;
                setup.broker = mqtt::parseBrokerUrl(typed->mqtt);
                mqtt::checkTopics(setup.broker.prefix, "station");
                setup.db = records::databaseAt(databaseFile(typed->dbGiven, typed->db));
                setup.confirm = parseDuration(typed->wait, "--wait");
                return setup;
            }};
}

#ifdef DIO_PLANT
Declared declareCollect(CLI::App& app) {
    struct Typed {
        std::string mqtt, db, clientId, batch = std::to_string(CollectSetup().batch);
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* collect =
        subcommand(app, "collect",
                   "收集程序：从代理收下各测试台的自检，存入工厂的 PostgreSQL（每次只存一次），"
                   "再告诉测试台已收到。SIGTERM 或 Ctrl-C 停止");
    collect->add_option("--mqtt", typed->mqtt, "代理；路径是各测试台的主题前缀")
        ->type_name("URL")
        ->required();
    collect
        ->add_option("--db", typed->db,
                     "PostgreSQL，如 postgresql://主机/库名 或 service=名字（默认按 PGHOST、"
                     "PGDATABASE、PGSERVICE）；密码放在 PGPASSFILE 或服务文件里")
        ->type_name("URL");
    CLI::Option* clientId =
        collect
            ->add_option("--client-id", typed->clientId,
                         "在代理上的会话名：停下时代理替它留着消息（默认 dio-collect- 加上由主题"
                         "前缀和 --db 得出的 8 位十六进制数；两个收集程序不可同名）")
            ->type_name("ID");
    defaulted(collect->add_option("--batch", typed->batch, "一个事务最多存几次自检"), "N");
    return {"collect", [typed, clientId] {
                CollectSetup setup;
                setup.broker = mqtt::parseBrokerUrl(typed->mqtt);
                mqtt::checkTopics(setup.broker.prefix, "station");
                plant::checkConnectionText(typed->db);
                setup.db = typed->db;
                requirePrintable("--client-id", typed->clientId);
                if (*clientId && typed->clientId.empty())
                    throw UsageError("--client-id 不能为空：代理只为有名字的会话留消息");
                setup.clientId = typed->clientId;
                setup.batch =
                    static_cast<std::size_t>(parseNumber(typed->batch, "--batch", 1, 10000));
                return setup;
            }};
}
#endif

} // namespace

Command parseCommandLine(const std::vector<std::string>& arguments) {
    CLI::App app{"数据采集卡开关量的命令行工具：读板卡信息，读输入，设输出，监视输入，"
                 "环回自检。用与测试面板相同的驱动程序（libadcard.so / adcard.dll），"
                 "只在程序所在的文件夹和系统的库文件夹里找，从不在当前文件夹里找。",
                 "dio-cli"};
    speakChinese(app);
    app.set_help_flag("-h,--help", "显示帮助");
    app.require_subcommand(1);
    app.fallthrough(false);
    std::map<std::string, Finish> finishes;
    std::string commands;
    for (auto declare : {declareInfo, declareGet, declareSet, declareWatch, declareSelftest,
                         declareServe, declareHistory, declarePublish,
#ifdef DIO_PLANT
                         declareCollect
#endif
         }) {
        Declared declared = declare(app);
        commands += (commands.empty() ? "" : "、") + declared.name;
        finishes[declared.name] = std::move(declared.finish);
    }
    // The word where a subcommand should be, named when it is none.
    if (arguments.size() > 1 && arguments[1].rfind('-', 0) != 0 && !finishes.count(arguments[1]))
        throw UsageError("不认识的子命令“" + arguments[1] + "”：可用 " + commands);

    if (helpAsked(app, arguments))
        return HelpCommand{app.help()}; // the chosen subcommand's, if any
    return finishes.at(app.get_subcommands().front()->get_name())();
}

} // namespace cli
