#include "watch_command.h"

#include "core/base/host.h"
#include "core/mqtt/topics.h"
#include "core/options/arguments.h"

#include <memory>

namespace cli {
namespace {

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

} // namespace

Finish<WatchSetup> Subcommand<WatchSetup>::declare(CLI::App& app) {
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
    return [typed] {
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
    };
}

ExitStatus Subcommand<WatchSetup>::run(const WatchSetup& setup, Card& card) {
    watch(card, setup);
    return ExitStatus::Ok;
}

} // namespace cli
