#include "station_options.h"

#include "core/base/errors.h"
#include "core/options/arguments.h"
#include "core/options/option_forms.h"
#include "core/options/station_arguments.h"
#include "station/settings_file.h"

#include <CLI/CLI.hpp>

namespace station {

std::variant<Help, StationSettings>
parseStationArguments(const std::vector<std::string>& arguments) {
    CLI::App app("测试台：扫描序列号，环回自检，显示合格或不合格，记下每次结果", "dio-station");
    cli::chineseHelp(app);
    app.set_help_flag("-h,--help", "显示帮助");
    app.set_config("--config", "", "设置文件：每行“选项 = 值”，如 station = L3-07（命令行优先）")
        ->type_name("FILE");
    app.config_formatter(std::make_shared<SettingsFile>(app));
    cli::StationArguments given;
    cli::declareStationOptions(app, given);
    std::string chartRuns = "50";
    app.add_option("--chart-runs", chartRuns, "故障通道图统计最近多少次")
        ->type_name("N")
        ->capture_default_str();
    if (cli::parseOrHelp(app, arguments))
        return Help{app.help()};
    StationSettings settings;
    settings.setup = cli::stationSetup(given);
    settings.output = cli::stationOutput(given);
    settings.output.record = true; // each scanned unit
    settings.chartRuns =
        static_cast<std::size_t>(cli::parseNumber(chartRuns, "--chart-runs", 1, 100000));
    settings.operatorGiven = given.operatorGiven && *given.operatorGiven;
    return settings;
}

} // namespace station
