#include "station_arguments.h"

#include "convert/printable.h"
#include "core/base/host.h"
#include "core/mqtt/topics.h"
#include "core/options/arguments.h"
#include "core/options/option_forms.h"

namespace cli {

StationArguments::StationArguments()
    : channels(allChannels()), settle(std::to_string(SelftestSetup().settle.count())),
      reads(std::to_string(SelftestSetup().reads)),
      codes(convert::nameIn(selftest::kCodesNames, SelftestSetup().codes)), station(hostName()),
      operatorName(userName()) {}

void declareStationOptions(CLI::App& command, StationArguments& given) {
    defaulted(command.add_option("-c,--channels", given.channels, "所测的通道，如 1-64"), "LIST");
    command
        .add_option("-m,--map", given.map,
                    "接线表：每行“通道 字 位”（默认通道 c 接输入字 "
                    "(c-1)/8 的位 (c-1)%8）")
        ->type_name("FILE");
    defaulted(command.add_option("-s,--settle", given.settle, "每个图样写出后等多少毫秒再读"),
              "MS");
    defaulted(
        command.add_option("--reads", given.reads,
                           "每个图样读几次输入（2 到 100）：图样不变而读数变了的输入报为时通时断"),
        "N");
    defaulted(
        command.add_option("--codes", given.codes,
                           "测试图样的码：adaptive（最少的图样，只在读数有疑处另加针对性图样）、"
                           "constant-weight（等重码）或 counting（计数码及其反码）"),
        "CODES");
    declareWhoOptions(command, given);
}

void declareWhoOptions(CLI::App& command, StationArguments& given) {
    given.dbGiven = command.add_option("--db", given.db, kDbHelp)->type_name("FILE");
    given.mqttGiven = command
                          .add_option("--mqtt", given.mqtt,
                                      "记下后另把这次运行（JSON）以 QoS 1 发布到 MQTT 代理的 "
                                      "<前缀>/<测试台>/selftest，如 mqtt://host:1883/plant/line3")
                          ->type_name("URL");
    command.add_option("--part", given.part, "所测板卡的型号")->type_name("P");
    command.add_option("--station", given.station, "测试台（默认主机名）")->type_name("S");
    given.operatorGiven =
        command.add_option("--operator", given.operatorName, "操作员（默认用户名）")
            ->type_name("O");
}

SelftestSetup stationSetup(const StationArguments& given) {
    SelftestSetup setup;
    setup.channels = parseChannels(given.channels);
    setup.wiring = given.map.empty() ? Wiring() : Wiring::fromFile(given.map);
    setup.wiring.requireOwnInputs(setup.channels);
    setup.settle = std::chrono::milliseconds(parseNumber(given.settle, "--settle", 0, 60000));
    setup.reads = static_cast<int>(parseNumber(given.reads, "--reads", 2, 100));
    setup.codes = choice("--codes", given.codes, selftest::kCodesNames);
    requirePrintable("--part", given.part);
    requirePrintable("--station", given.station);
    requirePrintable("--operator", given.operatorName);
    return setup;
}

std::optional<std::string> databaseFile(const CLI::Option* given, const std::string& name) {
    if (!given || !*given)
        return std::nullopt;
    if (name.empty())
        throw UsageError("--db 要一个文件名");
    return name[0] == ':' || name.rfind("file:", 0) == 0 ? "./" + name : name;
}

std::optional<mqtt::BrokerUrl> stationBroker(const StationArguments& given) {
    if (!given.mqttGiven || !*given.mqttGiven)
        return std::nullopt;
    return mqtt::stationBroker(given.mqtt, given.station);
}

void requirePrintable(const std::string& option, const std::string& value) {
    if (convert::hasControl(value))
        throw UsageError(option + " 的“" + convert::printable(value, false) + "”里有控制字符");
}

SelftestOutput stationOutput(const StationArguments& given) {
    SelftestOutput output;
    output.who.part = given.part;
    output.who.station = given.station;
    output.who.operatorName = given.operatorName;
    output.db = databaseFile(given.dbGiven, given.db);
    output.mqtt = stationBroker(given);
    return output;
}

} // namespace cli
