#include "station_options.h"

#include "cli/common/arguments.h"
#include "cli/common/errors.h"
#include "cli/common/option_forms.h"
#include "cli/station/options.h"
#include "convert/printable.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>

namespace station {
namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Every line of the settings file names one of the options: a misspelt one
// ("chanels = 1-64") would else be passed over without a word, and the
// station would run with the default in its place.
void checkSettingsFile(const CLI::App& app, const std::string& path) {
    std::ifstream file(std::filesystem::u8path(path));
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3); // a byte-order mark
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line == "[default]")
            continue;
        auto refuse = [&](const std::string& what) {
            return cli::UsageError("设置文件“" + path + "”第 " + std::to_string(number) + " 行：" +
                                   what + "“" + convert::printable(line, false) + "”");
        };
        if (line[0] == '[')
            throw refuse("不认识的节");
        const std::string key = trimmed(line.substr(0, line.find('=')));
        const CLI::Option* option = app.get_option_no_throw("--" + key);
        if (key.empty() || key == "help" || key == "config" || !option)
            throw refuse("不认识的选项，应是“选项 = 值”，选项为 --help 列出的（不带 --）：");
    }
}

} // namespace

std::variant<Help, StationSettings>
parseStationArguments(const std::vector<std::string>& arguments) {
    CLI::App app("测试台：扫描序列号，环回自检，显示合格或不合格，记下每次结果", "dio-station");
    cli::speakChinese(app);
    app.set_help_flag("-h,--help", "显示帮助");
    app.set_config("--config", "", "设置文件：每行“选项 = 值”，如 station = L3-07（命令行优先）")
        ->type_name("FILE");
    cli::StationArguments given;
    cli::declareStationOptions(app, given);
    std::string chartRuns = "50";
    app.add_option("--chart-runs", chartRuns, "故障通道图统计最近多少次")
        ->type_name("N")
        ->capture_default_str();
    if (cli::helpAsked(app, arguments))
        return Help{app.help()};
    if (const CLI::Option* config = app.get_config_ptr(); config && *config)
        checkSettingsFile(app, config->as<std::string>());
    StationSettings settings;
    settings.setup = cli::stationSetup(given);
    settings.output.who.part = given.part;
    settings.output.who.station = given.station;
    settings.output.who.operatorName = given.operatorName;
    settings.output.record = true;
    settings.output.db = cli::databaseFile(given.dbGiven, given.db);
    settings.output.mqtt = cli::stationBroker(given);
    settings.chartRuns =
        static_cast<std::size_t>(cli::parseNumber(chartRuns, "--chart-runs", 1, 100000));
    settings.operatorGiven = given.operatorGiven && *given.operatorGiven;
    return settings;
}

} // namespace station
